#pragma once
// Narrow texts of the program to the wide texts of Windows' W functions and back (Windows
// files only). Narrow means the ANSI code page, as the A functions read and write it.
#include <optional>
#include <string>

namespace platform {

// The text in the ANSI code page, as the narrow functions would read it, widened.
std::wstring widen(const std::string& text);

// The wide text in the ANSI code page; nothing when a character has no form there.
std::optional<std::string> narrowExactly(const std::wstring& text);

}  // namespace platform
