#pragma once
// The files of a new release: where each goes, and whether the output that the release the
// tree serves has for it may be linked rather than made again. Such an output lies in the
// served tree, which is not trusted: it is used only when it inflates to exactly what the
// source holds as this run reads it, so the digest a list names is always the source's.
#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "tools/publish_validate.h"
#include "formats/catalogue.h"

// What tells that a source changed while it was read: size and modification time (to the
// file system's resolution).
struct SourceStamp {
  std::uintmax_t size = 0;
  std::filesystem::file_time_type time{};
  bool operator==(const SourceStamp&) const = default;
};

struct PreparedFile {
  const ReleaseFile* file = nullptr;
  std::string output;     // its path in the tree, in the new release's folder
  std::string candidate;  // the live release's output for the same key, or empty
  std::string digest;     // the source's, read for the candidate's check (compressing finds it otherwise)
  SourceStamp stamp;      // the source before this run first read it
};

// True for a regular file (not a link) inside the tree.
bool regularFileInTree(const std::filesystem::path& tree, const std::string& treePath);

// Where the live release keeps a set's files: the sourcepath of the first catalogue entry
// whose sourcepath is the set's own (as earlier versions of the publisher wrote it) or a folder
// right below it.
std::optional<std::string> liveFolderOf(const PublishedSet& set, const std::vector<formats::CatalogueEntry>& live);

// Reads only. A source that cannot be read is a problem.
PreparedFile prepareFile(const ReleaseFile& file, const std::filesystem::path& tree, const std::string& releaseFolder,
                         const std::optional<std::string>& liveFolder, std::vector<std::string>& problems);

// True when the compressed file at `path` (a regular file, never a link) inflates to the
// prepared source.
bool inflatesToSource(const std::filesystem::path& path, const PreparedFile& file);

// Names each source that is not as it was before this run read it.
void checkUnchanged(const std::vector<PreparedFile>& files, std::vector<std::string>& problems);
