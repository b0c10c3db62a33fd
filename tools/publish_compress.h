#pragma once
// zlib streams (RFC 1950), as the update server serves every document and file.
#include <filesystem>
#include <string>
#include <string_view>

std::string compressText(std::string_view text, int level);

// Compresses the file piece by piece into the temporary file and renames it over the target:
// constant memory, and the target is never left half-written. The temporary file should
// lie where the server does not serve it. False when the source cannot be read or the
// target cannot be written; no temporary file remains then.
bool compressFile(const std::filesystem::path& source, const std::filesystem::path& target,
                  const std::filesystem::path& temporary, int level);
