#pragma once
// The user's choices, kept in "quarnmpupdater_config.json" in the installation root.

// Reads the settings file (or writes a new one with the defaults) and sets UiLanguageIndex.
void loadSettings();
// Writes the whole current settings record to the file.
void saveSettings();
