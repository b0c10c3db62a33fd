#include "game/game_state.h"

#include "game/languages.h"
#include "game/profiles.h"
#include "game/settings.h"

void resetGameState() {
  settings = Settings{};
  UiLanguageIndex = 2;
  profileList = ProfileList{};
  profilesScanned = false;
}
