#pragma once
// Puts the process-wide records of this folder (settings, language index, profile list)
// back to the values they have before the entry runs; for tests that start over.

namespace game {

void resetGameState();

}  // namespace game
