#pragma once
// The game languages the program offers; the chosen one also selects the interface texts.
#include <array>
#include <cstdint>
#include <optional>
#include <string_view>

namespace game {

inline constexpr int languageCount = 13;

// Two parallel lists; a position in them is what the language selection and
// UiLanguageIndex hold. The names are English whatever the interface language.
struct LanguageTable {
  std::array<const char*, languageCount> languageCodes;
  std::array<const char*, languageCount> languageNames;
};

inline constexpr LanguageTable languageTable{
    {"cn", "cs", "de", "en", "es", "fr", "hu", "it", "ko", "nl", "pl", "ru", "zh"},
    {"Chinese (Traditional)", "Czech", "German", "English", "Spanish", "French", "Hungarian", "Italian",
     "Korean", "Dutch", "Polish", "Russian", "Chinese (Simplified)"},
};

// "de": the language of a new settings file, and the one a code outside the table stands for.
inline constexpr std::int32_t defaultLanguageIndex = 2;

// Index into the language table; the default until the settings say otherwise. Always 0 to 12.
extern std::int32_t UiLanguageIndex;

// Position of the first code equal to the text (same bytes, case matters), if any.
std::optional<std::int32_t> languageIndexOf(std::string_view code);

}  // namespace game
