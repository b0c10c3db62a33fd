#include "tools/publish_files.h"

#include <fstream>

#include "tools/publish_compress.h"
#include "tools/publish_names.h"
#include "formats/file_digest.h"

using formats::CatalogueEntry;
using formats::digestFailure;
using formats::md5OfFile;

namespace {

namespace fs = std::filesystem;

std::optional<SourceStamp> stampOf(const fs::path& source) {
  std::error_code error;
  SourceStamp stamp{fs::file_size(source, error), {}};
  if (!error) stamp.time = fs::last_write_time(source, error);
  if (error) return std::nullopt;
  return stamp;
}

}  // namespace

bool regularFileInTree(const fs::path& tree, const std::string& treePath) {
  std::error_code error;
  const fs::path path = tree / treePath;
  return fs::is_regular_file(fs::symlink_status(path, error)) && liesWithin(path.parent_path(), tree);
}

std::optional<std::string> liveFolderOf(const PublishedSet& set, const std::vector<CatalogueEntry>& live) {
  const std::string own = set.entry.sourcepath, below = own + "/";
  for (const CatalogueEntry& entry : live) {
    const std::string& folder = entry.sourcepath;
    if (servedPathProblem(folder)) continue;
    if (folder == own || (folder.starts_with(below) && folder.find('/', below.size()) == std::string::npos))
      return folder;
  }
  return std::nullopt;
}

PreparedFile prepareFile(const ReleaseFile& file, const fs::path& tree, const std::string& releaseFolder,
                         const std::optional<std::string>& liveFolder, std::vector<std::string>& problems) {
  PreparedFile prepared{&file, releaseFolder + "/" + file.key, "", "", {}};
  const auto stamp = stampOf(file.source);
  if (!stamp || !std::ifstream(file.source, std::ios::binary)) {
    problems.push_back(file.source.string() + ": cannot be read");
    return prepared;
  }
  prepared.stamp = *stamp;
  if (!liveFolder || !regularFileInTree(tree, *liveFolder + "/" + file.key)) return prepared;
  prepared.digest = md5OfFile(file.source.string());
  if (prepared.digest == digestFailure) problems.push_back(file.source.string() + ": cannot be read");
  else prepared.candidate = *liveFolder + "/" + file.key;
  return prepared;
}

bool inflatesToSource(const fs::path& path, const PreparedFile& file) {
  std::error_code error;
  return !file.digest.empty() && fs::is_regular_file(fs::symlink_status(path, error)) &&
         inflatedDigest(path, file.stamp.size) == file.digest;
}

void checkUnchanged(const std::vector<PreparedFile>& files, std::vector<std::string>& problems) {
  for (const PreparedFile& file : files)
    if (stampOf(file.file->source) != file.stamp)
      problems.push_back(file.file->source.string() + ": changed while this run read it");
}
