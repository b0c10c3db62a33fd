#pragma once
// Narrow texts of the program to the wide texts of Windows' W functions (Windows files only).
#include <string>

namespace platform {

// The text in the ANSI code page, as the narrow functions would read it, widened.
std::wstring widen(const std::string& text);

}  // namespace platform
