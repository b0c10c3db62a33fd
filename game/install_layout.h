#pragma once
// What the updater relies on about the game's installation.
#include <cstdint>
#include <string>

namespace game {

enum class InstallLayout : std::uint8_t {
  RuskEdition = 0,   // "./base" at the root
  TovanEdition = 1,  // "./Data" and "./DataOP" at the root
};

// Decided once by the installation check, before anything reads it.
extern InstallLayout installLayout;

// "./Data/base/bin" or "./base/bin": where the loader library installation puts its files.
std::string gameProgramFolder(InstallLayout layout);
// ".\Data\base\bin\Ostmarka.exe" or ".\base\bin\Ostmarka.exe": what the game launch starts.
std::string gameExecutablePath(InstallLayout layout);

}  // namespace game
