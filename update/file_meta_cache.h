#pragma once
// Digests of local files, trusted while the file's modification time is unchanged.
#include <cstdint>
#include <map>
#include <string>

struct FileMeta {
  std::string path;         // the file's localPath, exactly as the file list builds it
  std::int64_t modtime = 0;  // seconds since 1970; 0 for a file that did not exist
  std::string hash;         // md5OfFile for that time
};

// Keyed by localPath, compared byte by byte.
using FileMetaCache = std::map<std::string, FileMeta>;

inline constexpr const char* fileMetaCacheName = "updater_filemeta.json";

// Reads folder + "updater_filemeta.json". A missing file, or one that is not a JSON
// object of {"hash": string, "modtime": number} members, gives an empty cache, so every
// file is hashed again and the next write replaces it. Entries with modtime 0 are dropped.
FileMetaCache readFileMetaCache(const std::string& folder);

// Replaces folder + "updater_filemeta.json" as a whole (old or new content, never half
// of each): indented by one space, "null" when empty. Failures are silent.
void writeFileMetaCache(const std::string& folder, const FileMetaCache& cache);

// The digest of the file at path: the cached one while its modification time matches,
// otherwise freshly computed and stored in the cache.
const std::string& trustedDigest(FileMetaCache& cache, const std::string& path);

// The modification time of a file as the cache records it: 0 when it does not exist.
std::int64_t cachedTimeOf(const std::string& path);
