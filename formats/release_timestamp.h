#pragma once
// When a release was signed, and the latest release a client has accepted.
//
// The trusted comment of every signed document reads
//   timestamp:<unix seconds of the release>\tfile:<the document's path on the server>
// (further tab-separated fields, such as minisign's own "hashed", are ignored).
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "platform/files.h"

namespace formats {

struct ReleaseStamp {
  std::int64_t timestamp = 0;
  std::string file;
};

std::string trustedCommentFor(const ReleaseStamp& stamp);
// Nothing when the comment lacks either field or the time is not a number of seconds.
std::optional<ReleaseStamp> parseTrustedComment(std::string_view comment);

inline constexpr const char* releaseRecordName = "updater_release.json";

// The highest release timestamp accepted so far, from folder + "updater_release.json" (an
// unsigned 64-bit number): 0 when there is none. Throws std::runtime_error for a file that
// cannot be read as one, rather than forget what it guarded.
std::uint64_t readAcceptedRelease(const std::string& folder);
// Replaces the file as a whole.
platform::FileResult writeAcceptedRelease(const std::string& folder, std::uint64_t timestamp);

// Seconds from the release to now (negative for a release in the future).
std::int64_t releaseAge(std::int64_t timestamp);

}  // namespace formats
