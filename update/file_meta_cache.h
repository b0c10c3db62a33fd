#pragma once
// Digests of local files, trusted while the file's modification time is unchanged.
#include <cstdint>
#include <map>
#include <string>

#include "platform/files.h"

namespace update {

struct FileMeta {
  std::string path;         // the file's localPath, exactly as the file list builds it
  std::int64_t modtime = 0;  // seconds since 1970; 0 for a file that did not exist
  std::string hash;         // formats::md5OfFile for that time
  bool provisional = false;  // the time cannot vouch for the digest: written as 0, hashed again next run
};

// Keyed by localPath, compared byte by byte.
using FileMetaCache = std::map<std::string, FileMeta>;

inline constexpr const char* fileMetaCacheName = "updater_filemeta.json";

// Reads folder + "updater_filemeta.json". A missing file, or one that is not a JSON
// object of {"hash": string, "modtime": number} members, gives an empty cache, so every
// file is hashed again and the next write replaces it. Entries with modtime 0 are dropped,
// and so are entries whose modtime is not older than the cache file's own last write:
// those files are hashed again.
FileMetaCache readFileMetaCache(const std::string& folder);

// Replaces folder + "updater_filemeta.json" as a whole (old or new content, never half
// of each): indented by one space, "null" when empty. A failure leaves the old file and gives
// the system's reason.
platform::FileResult writeFileMetaCache(const std::string& folder, const FileMetaCache& cache);

// The digest of the file root + path, cached under path: the cached one while the file's
// modification time equals the recorded one, otherwise freshly computed and recorded.
const std::string& trustedDigest(FileMetaCache& cache, const std::string& root, const std::string& path);

// The current time in whole seconds since 1970, as file times count it.
std::int64_t digestClock();

// Records the digest of path, taken of content that no one could change unseen before
// `exposedSince` (digestClock() read before the file was read, or before it was moved into
// place). A change later in the file's own second would leave its time as it was, so the
// time vouches for the digest only when it is older than that second; otherwise the entry is
// provisional: it serves this run, but is written with time 0, so the next run hashes the
// file again. Returns the recorded digest.
const std::string& recordDigest(FileMetaCache& cache, const std::string& path, std::int64_t modtime,
                                std::int64_t exposedSince, std::string digest);

// Reads the file's modification time in the form the cache records: 0 when it does not exist.
std::int64_t modtimeForCache(const std::string& path);

}  // namespace update
