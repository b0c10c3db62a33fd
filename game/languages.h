#pragma once
// The game languages the program offers; also selects the interface texts.
#include <cstdint>

// Index into the language table; 2 ("de") until the settings say otherwise.
extern std::int32_t UiLanguageIndex;
