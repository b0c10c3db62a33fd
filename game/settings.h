#pragma once
// The user's choices, kept in "quarnmpupdater_config.json" in the installation root.
#include <nlohmann/json.hpp>
#include <stdexcept>
#include <string>

namespace game {

// The JSON keys are the field names.
struct Settings {
  std::string language;  // a code of the language table, passed to the game as read
  bool luadebugger = false;
  bool console = false;
  bool clip_cursor = false;
  bool use_local_profile = false;
};

// The process-wide record; changed only on the main thread, each change followed by saveSettings.
extern Settings settings;

inline constexpr const char* settingsFileName = "quarnmpupdater_config.json";

// A settings document that parses but cannot be used, such as one with a member of the
// wrong JSON type.
struct SettingsFormatError : std::runtime_error {
  using std::runtime_error::runtime_error;
};

// Reads the settings file and sets UiLanguageIndex. Without a usable file the defaults
// ("de", all flags off) are taken and written; a broken file is first kept aside.
void loadSettings();
// Writes the whole current record. A failure leaves the record alone and is shown in a message
// box with the system's reason: the user's choice will not outlive this run.
void saveSettings();

// The five members of the process-wide record.
nlohmann::json settingsToJson();
// Members may be missing (empty or false then) or extra (ignored); a value that is not an
// object has no members. Throws SettingsFormatError for a member of the wrong type.
Settings settingsFromJson(const nlohmann::json& value);

}  // namespace game
