#pragma once
// MD5 digests of local files, as the update server publishes them.
#include <string>
#include <string_view>

#include "platform/digest.h"

// Stands for a file that could not be opened or read; never equals a digest.
inline constexpr std::string_view digestFailure = "0000000000000000";

// 32 lower-case hexadecimal digits of the file's MD5 digest, or digestFailure. Reads the
// file in pieces, so memory use does not depend on its size.
std::string md5OfFile(const std::string& path);

// The 16 digest bytes as 32 lower-case hexadecimal digits.
std::string hexDigest(const platform::Md5Bytes& digest);
