#pragma once
#include <optional>
#include <string>

#include "game/install_layout.h"

// Decides from the working directory whether the process stands in a game installation,
// and which layout it has. Nothing when the directory is not one.
std::optional<game::InstallLayout> checkInstallation();

// The box shown when the check fails.
extern const char* const wrongDirectoryCaption;
extern const char* const wrongDirectoryText;
