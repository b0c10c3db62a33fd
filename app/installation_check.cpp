#include "app/installation_check.h"

#include "platform/files.h"

const char* const wrongDirectoryCaption = "Wrong directory!";
const char* const wrongDirectoryText =
    "This executable has to be placed in a specific directory.\n"
    "For Tovan Edition file structure use the directory where 'data' and 'dataop' are located.\n"
    "For Rusk Edition file structure use the folder where 'base' and 'extra1' are located.\n"
    "Please move it and run it again.";

std::optional<game::InstallLayout> checkInstallation() {
  if (platform::pathExists("./Data") && platform::pathExists("./DataOP")) {
    return game::InstallLayout::TovanEdition;
  }
  // A "base" folder inside a Tovan installation's Data folder is not a root of its own.
  if (platform::pathExists("./base") && !platform::pathExists("../Data")) {
    return game::InstallLayout::RuskEdition;
  }
  return std::nullopt;
}
