#pragma once
// MD5 digests of local files, as the update server publishes them.
#include <string>
#include <string_view>

#include "platform/digest.h"

namespace formats {

// Stands for a file that could not be opened or read; never equals a digest.
inline constexpr std::string_view digestFailure = "0000000000000000";

// 32 lower-case hexadecimal digits of the file's MD5 digest, or digestFailure (also for
// anything but a regular file, so a FIFO never blocks the comparison). Reads the file in
// pieces, so memory use does not depend on its size.
std::string md5OfFile(const std::string& path);

// The 16 digest bytes as 32 lower-case hexadecimal digits.
std::string hexDigest(const platform::Md5Bytes& digest);

// 32 hexadecimal digits, in either case: the only digests a file list can mean.
bool isDigestText(std::string_view text);

// A local digest equals a list's digest (without regard to its hex case); a file that could
// not be read never does.
bool sameDigest(std::string_view localDigest, std::string_view listedDigest);

}  // namespace formats
