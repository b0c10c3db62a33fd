#include "game/game_state.h"

#include "game/languages.h"
#include "game/profiles.h"
#include "game/settings.h"

namespace game {

void resetGameState() {
  settings = Settings{};
  UiLanguageIndex = defaultLanguageIndex;
  profileList = ProfileList{};
  profilesScanned = false;
}

}  // namespace game
