#pragma once
// zlib streams (RFC 1950), as the update server serves every document and file.
#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>

std::string compressText(std::string_view text, int level);

// Compresses the file piece by piece into the temporary file and renames it over the target:
// constant memory, and the target is never left half-written. The temporary file should
// lie where the server does not serve it. Returns the MD5 digest (32 hex digits) of the bytes
// it compressed, so what a list names and what is served come from one read. Nothing when
// the source cannot be read or the target cannot be written; no temporary file remains then.
std::optional<std::string> compressFile(const std::filesystem::path& source, const std::filesystem::path& target,
                                        const std::filesystem::path& temporary, int level);

// The MD5 digest of what the file inflates to, when it is one whole zlib stream of at most
// `sizeCeiling` bytes inflated; nothing for anything else. Its cost is bounded by the file
// and the ceiling, whatever the file holds.
std::optional<std::string> inflatedDigest(const std::filesystem::path& compressed, std::uint64_t sizeCeiling);
