#include "tools/publish_names.h"

#include <algorithm>
#include <array>
#include <cstdint>
#include <vector>

#include "tools/publish_case_folding.h"
#include "formats/safe_path.h"

using formats::staysInsideInstallation;

namespace {

std::vector<std::string_view> segmentsOf(std::string_view path, std::string_view separators) {
  std::vector<std::string_view> segments;
  std::size_t start = 0;
  for (;;) {
    const std::size_t end = path.find_first_of(separators, start);
    segments.push_back(path.substr(start, end == std::string_view::npos ? end : end - start));
    if (end == std::string_view::npos) return segments;
    start = end + 1;
  }
}

bool isControl(unsigned char c) { return c < 0x20 || c == 0x7f; }

// Length of the UTF-8 sequence at the start of the text, or 0 when it is not one.
std::size_t utf8Length(std::string_view text) {
  const auto byte = [&](std::size_t i) { return static_cast<unsigned char>(text[i]); };
  const unsigned char lead = byte(0);
  std::size_t length = lead < 0x80 ? 1 : lead >= 0xc2 && lead < 0xe0 ? 2 : lead >= 0xe0 && lead < 0xf0 ? 3
                     : lead >= 0xf0 && lead < 0xf5 ? 4 : 0;
  if (length == 0 || length > text.size()) return 0;
  for (std::size_t i = 1; i < length; ++i)
    if ((byte(i) & 0xc0) != 0x80) return 0;
  // Overlong forms, UTF-16 surrogates and code points above U+10FFFF.
  if ((lead == 0xe0 && byte(1) < 0xa0) || (lead == 0xed && byte(1) >= 0xa0) || (lead == 0xf0 && byte(1) < 0x90) ||
      (lead == 0xf4 && byte(1) >= 0x90))
    return 0;
  return length;
}

// Bytes a JSON list cannot carry, or that end a request line, come first.
std::optional<std::string> byteProblem(std::string_view path) {
  if (path.empty()) return "empty path";
  for (std::size_t i = 0; i < path.size();) {
    if (isControl(static_cast<unsigned char>(path[i]))) return "control character in the name";
    const std::size_t length = utf8Length(path.substr(i));
    if (length == 0) return "not UTF-8 text";
    i += length;
  }
  return std::nullopt;
}

// Windows opens the device, whatever the extension: "nul.txt" and "COM1 .log" are devices too.
bool isReservedDeviceName(std::string_view segment) {
  static constexpr std::array<std::string_view, 4> plain{"con", "prn", "aux", "nul"};
  static constexpr std::array<std::string_view, 3> superscripts{"\u00b9", "\u00b2", "\u00b3"};
  std::string stem(segment.substr(0, segment.find('.')));
  while (!stem.empty() && stem.back() == ' ') stem.pop_back();
  for (char& c : stem) c = (c >= 'A' && c <= 'Z') ? static_cast<char>(c + 0x20) : c;
  if (std::find(plain.begin(), plain.end(), stem) != plain.end()) return true;
  if (!stem.starts_with("com") && !stem.starts_with("lpt")) return false;
  const std::string_view number = std::string_view(stem).substr(3);
  return (number.size() == 1 && number[0] >= '0' && number[0] <= '9') ||
         std::find(superscripts.begin(), superscripts.end(), number) != superscripts.end();
}

// Appends the code point as UTF-8.
void appendUtf8(std::string& text, char32_t c) {
  const auto add = [&](unsigned value) { text += static_cast<char>(value); };
  if (c < 0x80) {
    add(c);
  } else if (c < 0x800) {
    add(0xc0 | c >> 6), add(0x80 | (c & 0x3f));
  } else if (c < 0x10000) {
    add(0xe0 | c >> 12), add(0x80 | (c >> 6 & 0x3f)), add(0x80 | (c & 0x3f));
  } else {
    add(0xf0 | c >> 18), add(0x80 | (c >> 12 & 0x3f)), add(0x80 | (c >> 6 & 0x3f)), add(0x80 | (c & 0x3f));
  }
}

// The code point of a whole UTF-8 sequence, as utf8Length found it.
char32_t decodeUtf8(std::string_view sequence) {
  const auto lead = static_cast<unsigned char>(sequence[0]);
  char32_t c = sequence.size() == 1 ? lead : lead & (0x7f >> sequence.size());
  for (std::size_t i = 1; i < sequence.size(); ++i) c = c << 6 | (static_cast<unsigned char>(sequence[i]) & 0x3f);
  return c;
}

}  // namespace

std::optional<std::string> servedPathProblem(std::string_view path) {
  if (auto problem = byteProblem(path)) return problem;
  if (!staysInsideInstallation(path)) return "not a relative path inside the tree";
  if (path.find('\\') != std::string_view::npos) return "a backslash separates folders on Windows";
  for (std::string_view segment : segmentsOf(path, "/")) {
    if (segment.empty()) return "empty path segment";
    if (segment.front() == '.') return "a segment starting with \".\" is never served";
  }
  return std::nullopt;
}

std::optional<std::string> installedPathProblem(std::string_view path) {
  if (auto problem = byteProblem(path)) return problem;
  if (!staysInsideInstallation(path)) return "not a relative path inside the installation";
  for (std::string_view segment : segmentsOf(path, "/\\")) {
    if (segment.find_first_of("<>\"|?*") != std::string_view::npos)
      return "Windows cannot store a name with < > \" | ? or *";
    if (isReservedDeviceName(segment)) return "a device name on Windows";
    if (segment != "." && (segment.ends_with('.') || segment.ends_with(' ')))
      return "Windows drops a trailing dot or space";
  }
  return std::nullopt;
}

std::string windowsIdentity(std::string_view path) {
  std::string identity;
  for (std::string_view segment : segmentsOf(path, "/\\")) {
    if (segment.data() != path.data()) identity += '/';  // not the first segment
    for (std::size_t i = 0; i < segment.size();) {
      const std::size_t length = utf8Length(segment.substr(i));
      if (length == 0) {  // not text: kept as it is
        identity += segment[i++];
        continue;
      }
      appendUtf8(identity, foldCase(decodeUtf8(segment.substr(i, length))));
      i += length;
    }
  }
  return identity;
}
