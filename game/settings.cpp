#include "game/settings.h"

#include <cstdio>
#include <optional>
#include <type_traits>

#include "game/languages.h"
#include "platform/files.h"
#include "platform/message_box.h"

namespace game {

Settings settings;

namespace {

// Where a file we could not use is kept, so that nothing the user wrote is lost: the first
// free one of ".broken", ".broken2" ... ".broken99" after the file's name; nothing when all
// are taken.
std::optional<std::string> freeBrokenSettingsName() {
  const std::string first = std::string(settingsFileName) + ".broken";
  for (int number = 1; number < 100; ++number) {
    std::string name = number == 1 ? first : first + std::to_string(number);
    // A name the system cannot tell about may hold something: it is not taken.
    if (const platform::PathExistence existing = platform::pathExists(name); !existing && !existing.failure)
      return name;
  }
  return std::nullopt;
}

void reportUnusable(const std::string& reason) {
  std::fprintf(stderr, "%s cannot be used, the defaults apply: %s\n", settingsFileName, reason.c_str());
}

template <typename Field>
void readMember(const nlohmann::json& object, const char* key, Field& field) {
  auto member = object.find(key);
  if (member == object.end()) return;
  constexpr bool isFlag = std::is_same_v<Field, bool>;
  if (isFlag ? !member->is_boolean() : !member->is_string()) {
    throw SettingsFormatError(std::string("\"") + key +
                              (isFlag ? "\" is not true or false" : "\" is not a text"));
  }
  field = member->get<Field>();
}

// The settings in the text, or nothing (with the reason on standard error) when they
// cannot be used.
std::optional<Settings> settingsFromText(const std::string& text) {
  try {
    // The parser takes a NUL byte for the end of the input; JSON text never holds one.
    if (text.find('\0') != std::string::npos) throw SettingsFormatError("the file holds a NUL byte");
    return settingsFromJson(nlohmann::json::parse(text));
  } catch (const std::exception& error) {
    reportUnusable(error.what());
    return std::nullopt;
  }
}

void takeDefaults() {
  settings = Settings{};
  settings.language = languageTable.languageCodes[static_cast<std::size_t>(UiLanguageIndex)];
}

}  // namespace

nlohmann::json settingsToJson() {
  // nlohmann::json keeps members sorted by key, which is the file's member order.
  return {{"language", settings.language},
          {"luadebugger", settings.luadebugger},
          {"console", settings.console},
          {"clip_cursor", settings.clip_cursor},
          {"use_local_profile", settings.use_local_profile}};
}

Settings settingsFromJson(const nlohmann::json& value) {
  Settings result;
  if (!value.is_object()) return result;
  readMember(value, "language", result.language);
  readMember(value, "luadebugger", result.luadebugger);
  readMember(value, "console", result.console);
  readMember(value, "clip_cursor", result.clip_cursor);
  readMember(value, "use_local_profile", result.use_local_profile);
  return result;
}

void loadSettings() {
  const platform::FileContent text = platform::readWholeFile(settingsFileName);
  const auto loaded = text ? settingsFromText(*text) : std::nullopt;
  if (loaded) {
    settings = *loaded;
    if (auto index = languageIndexOf(settings.language)) UiLanguageIndex = *index;
    return;
  }
  takeDefaults();
  const bool unreadable = !text && !text.missing;
  if (unreadable) reportUnusable("the file cannot be read: " + text.failure);
  // A file we cannot read or use is moved aside before the defaults replace it, so the
  // user's choices are never overwritten; if the move fails the file stays as it is.
  if (unreadable || (text && !text->empty())) {
    const auto aside = freeBrokenSettingsName();
    if (!aside || !platform::moveFileReplacing(settingsFileName, *aside)) return;
  }
  saveSettings();
}

void saveSettings() {
  // Replacing invalid UTF-8 keeps a stray byte in the language from stopping the save.
  const auto replaceInvalid = nlohmann::json::error_handler_t::replace;
  const platform::FileResult saved =
      platform::writeFileAtomically(settingsFileName, settingsToJson().dump(-1, ' ', false, replaceInvalid));
  if (saved) return;
  const std::string text = std::string("Failed to save settings!\r\n") + settingsFileName + ": " + *saved.failure;
  platform::showMessageBox("Error", text, platform::MessageBoxIcon::None);
}

}  // namespace game
