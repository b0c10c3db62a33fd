#pragma once
// The interface texts that follow the language: German for "de", English for every other row.
#include <array>

#include "game/languages.h"

// Column of the text table. Texts are 8-bit, without umlauts; line breaks are CR LF.
enum class TextId {
  labelConsole,
  labelLuaDebugger,
  labelClipCursor,
  labelNoDocuments,
  labelMainGame,
  labelExpansion,
  buttonFetch,
  tipFetch,
  msgFilesDiffer,
  msgFilesCurrent,
  buttonDiff,
  tipDiff,
  buttonUpdate,
  tipUpdate,
  msgUpdaterOutdated,
  tipMainGame,
  tipExpansion,
  errFetch,
  errDiff,
  errUpdate,
  errGeneral,
  tipNoDocuments,
  tipClipCursor,
  tipConsole,
  tipLuaDebugger,
  errLanguageMissing,
  buttonSelfUpdate,
  askSelfUpdate,
  msgSelfUpdating,
  errSelfUpdate,
};

inline constexpr int textIdCount = 30;

using TextRow = std::array<const char*, textIdCount>;
// One row per entry of the language table, in its order.
using TextTable = std::array<TextRow, game::languageCount>;

extern const TextTable textTable;

// The text in the row of UiLanguageIndex; read it each time it is drawn.
const char* uiText(TextId id);
