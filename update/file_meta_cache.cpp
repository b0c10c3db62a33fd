#include "update/file_meta_cache.h"

#include <chrono>
#include <cmath>
#include <nlohmann/json.hpp>

#include "platform/files.h"
#include "platform/text_mode.h"
#include "formats/file_digest.h"

namespace update {

using formats::md5OfFile;

namespace {

using nlohmann::json;

// Integers as they are, floating-point numbers truncated towards zero.
std::int64_t modtimeFrom(const json& value) {
  if (value.is_number_integer()) return value.get<std::int64_t>();
  if (value.is_number_float()) {
    const double seconds = std::trunc(value.get<double>());
    if (seconds >= -9.2e18 && seconds <= 9.2e18) return static_cast<std::int64_t>(seconds);
  }
  throw std::invalid_argument("modtime is not a number of seconds");
}

// Entries are written with time 0 unless their time vouches for them (recordDigest); one
// whose time is not older than the cache file's last write cannot have been, so it is not
// trusted either, whoever wrote the file.
FileMetaCache cacheFrom(const json& document, std::int64_t cacheWritten) {
  FileMetaCache cache;
  if (document.is_null()) return cache;
  if (!document.is_object()) throw std::invalid_argument("cache is not a JSON object");
  for (const auto& [path, value] : document.items()) {
    if (!value.is_object() || !value.contains("modtime") || !value.contains("hash"))
      throw std::invalid_argument("cache member without modtime and hash");
    const std::int64_t modtime = modtimeFrom(value["modtime"]);
    std::string hash = value["hash"].get<std::string>();
    if (modtime != 0 && modtime < cacheWritten) cache[path] = FileMeta{path, modtime, std::move(hash)};
  }
  return cache;
}

}  // namespace

FileMetaCache readFileMetaCache(const std::string& folder) {
  const std::string file = folder + fileMetaCacheName;
  const auto written = platform::modificationTime(file);
  const auto text = platform::readWholeFile(file);
  if (!written || !text) return {};
  try {
    return cacheFrom(json::parse(*text), *written);
  } catch (const std::exception&) {
    return {};  // unreadable: start afresh, the next write replaces it
  }
}

namespace {

// The JSON library's indented form (indent 1) of {path: {"hash": ..., "modtime": ...}},
// written directly: building the document first costs more than the comparison itself.
std::string cacheText(const FileMetaCache& cache) {
  if (cache.empty()) return "null";
  const auto quoted = [](const std::string& text) {
    return json(text).dump(-1, ' ', false, json::error_handler_t::replace);
  };
  std::string text = "{";
  for (const auto& [path, meta] : cache) {
    text += text.size() == 1 ? "\n " : ",\n ";
    text += quoted(path);
    text += ": {\n  \"hash\": ";
    text += quoted(meta.hash);
    text += ",\n  \"modtime\": ";
    text += std::to_string(meta.provisional ? 0 : meta.modtime);
    text += "\n }";
  }
  return text + "\n}";
}

}  // namespace

platform::FileResult writeFileMetaCache(const std::string& folder, const FileMetaCache& cache) {
  return platform::writeFileAtomically(folder + fileMetaCacheName, platform::withTextModeLineEnds(cacheText(cache)));
}

std::int64_t modtimeForCache(const std::string& path) { return platform::modificationTime(path).value_or(0); }

std::int64_t digestClock() {
  return std::chrono::duration_cast<std::chrono::seconds>(std::chrono::system_clock::now().time_since_epoch()).count();
}

const std::string& recordDigest(FileMetaCache& cache, const std::string& path, std::int64_t modtime,
                                std::int64_t exposedSince, std::string digest) {
  // A time from the second before is not trusted either: file systems stamp times from a
  // clock that may lag the system's by a tick, and FAT keeps them in steps of two seconds.
  const bool vouches = modtime < exposedSince - 1;
  FileMeta& meta = cache[path];
  meta = FileMeta{path, modtime, std::move(digest), !vouches};
  return meta.hash;
}

const std::string& trustedDigest(FileMetaCache& cache, const std::string& root, const std::string& path) {
  const std::string file = root + path;
  const std::int64_t modtime = modtimeForCache(file);
  const auto found = cache.find(path);
  if (found != cache.end() && found->second.modtime == modtime) return found->second.hash;
  const std::int64_t exposedSince = digestClock();  // the file is read from now on
  return recordDigest(cache, path, modtime, exposedSince, md5OfFile(file));
}

}  // namespace update
