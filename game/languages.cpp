#include "game/languages.h"

namespace game {

std::int32_t UiLanguageIndex = defaultLanguageIndex;

std::optional<std::int32_t> languageIndexOf(std::string_view code) {
  for (std::int32_t index = 0; index < languageCount; ++index) {
    if (code == languageTable.languageCodes[static_cast<std::size_t>(index)]) return index;
  }
  return std::nullopt;
}

}  // namespace game
