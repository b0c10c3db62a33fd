#include "game/languages.h"

std::int32_t UiLanguageIndex = 2;
