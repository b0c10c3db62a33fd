#include "game/settings.h"

// Placeholder until the settings file is read and written.
void loadSettings() {}
void saveSettings() {}
