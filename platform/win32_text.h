#pragma once
// Narrow texts of the program to the wide texts of Windows' W functions and back (Windows
// files only). Paths are UTF-8, as the file lists give them; texts the game reads on its command
// line and the A functions take are in the ANSI code page.
#include <optional>
#include <string>

namespace platform {

// The text in the ANSI code page, as the narrow functions would read it, widened.
std::wstring widen(const std::string& text);

// The wide text in the ANSI code page; nothing when a character has no form there.
std::optional<std::string> narrowExactly(const std::wstring& text);

// The UTF-8 text widened; nothing when it is not UTF-8 (a replacement character could make two
// names one).
std::optional<std::wstring> widenUtf8(const std::string& text);

// The wide text in UTF-8.
std::string utf8Of(const std::wstring& text);

}  // namespace platform
