#pragma once
// Unicode's simple case folding, the closest published rule to how Windows compares names.
// The table is made at build time from the unicode-data package (tools/CMakeLists.txt).

// The code point that the given one folds to; itself when it has no folding.
char32_t foldCase(char32_t codePoint);
