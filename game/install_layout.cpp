#include "game/install_layout.h"

namespace game {

InstallLayout installLayout = InstallLayout::RuskEdition;

std::string gameProgramFolder(InstallLayout layout) {
  return layout == InstallLayout::TovanEdition ? "./Data/base/bin" : "./base/bin";
}

std::string gameExecutablePath(InstallLayout layout) {
  return layout == InstallLayout::TovanEdition ? ".\\Data\\base\\bin\\Ostmarka.exe"
                                               : ".\\base\\bin\\Ostmarka.exe";
}

}  // namespace game
