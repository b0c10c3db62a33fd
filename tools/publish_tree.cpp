#include "tools/publish_tree.h"

#include <ctime>
#include <map>
#include <memory>
#include <set>
#include <stdexcept>

#include "platform/digest.h"
#include "platform/files.h"
#include "tools/publish_compress.h"
#include "tools/publish_state.h"
#include "tools/publish_validate.h"
#include "formats/catalogue_json.h"
#include "formats/file_digest.h"
#include "update/release_verification.h"

using formats::CatalogueEntry;
using formats::catalogueText;
using formats::digestFailure;
using formats::fileListText;
using formats::hexDigest;
using formats::md5OfFile;
using formats::signaturePath;

namespace {

namespace fs = std::filesystem;

constexpr const char* stagingFolderName = ".publishing";
constexpr const char* lockFileName = ".publish-lock";

// What the state keeps of a document (a list, the catalogue, a signature): enough to retire it
// once it leaves the release. Time 0 is never trusted.
SourceState documentState(const std::string& bytes) { return {0, bytes.size(), hexDigest(platform::md5Of(bytes))}; }

struct PreparedFile {
  const ReleaseFile* file;
  SourceState source;
  bool compress = false;
};

// Decides, reading but not writing, which files must be compressed, and their digests.
class Preparation {
 public:
  Preparation(const fs::path& tree, const PublishState& previous) : tree(tree), previous(previous) {}

  PreparedFile prepare(const ReleaseFile& file, std::vector<std::string>& problems) const {
    const auto found = previous.find(file.treePath);
    const SourceState known = found != previous.end() ? found->second : SourceState{};
    std::error_code error;
    PreparedFile prepared{&file, {platform::modificationTime(file.source.string()).value_or(0),
                                  fs::file_size(file.source, error), known.digest}};
    const bool published = fs::is_regular_file(fs::symlink_status(tree / file.treePath, error));
    if (prepared.source.modtime != known.modtime || prepared.source.size != known.size || !published) {
      prepared.source.digest = md5OfFile(file.source.string());
      if (prepared.source.digest == digestFailure) problems.push_back(file.source.string() + ": cannot be read");
      prepared.compress = prepared.source.digest != known.digest || !published;
    }
    // A time in whole seconds that is not older than this run could still be shared by an
    // edit of the same size made after it; such a file is hashed again next time.
    if (prepared.source.modtime >= trustedBefore) prepared.source.modtime = 0;
    return prepared;
  }

 private:
  fs::path tree;
  const PublishState& previous;
  std::int64_t trustedBefore = static_cast<std::int64_t>(std::time(nullptr)) - 1;
};

// Writes outputs under temporary names in the unserved staging folder and renames them
// into place, so a served path holds a whole old or a whole new output at every moment.
class TreeWriter {
 public:
  explicit TreeWriter(const fs::path& tree) : tree(tree), staging(tree / stagingFolderName) {
    fs::remove_all(staging);  // what a killed run left
    fs::create_directories(staging);
  }
  ~TreeWriter() {
    std::error_code ignored;
    fs::remove_all(staging, ignored);
  }
  TreeWriter(const TreeWriter&) = delete;
  TreeWriter& operator=(const TreeWriter&) = delete;

  void compress(const fs::path& source, const std::string& treePath, int level) {
    const fs::path target = placeFor(treePath);
    if (!compressFile(source, target, nextTemporary(), level))
      throw std::runtime_error("cannot compress " + source.string() + " to " + target.string());
  }

  void write(const std::string& treePath, const std::string& bytes) {
    const fs::path target = placeFor(treePath);
    const fs::path temporary = nextTemporary();
    if (!platform::writeFileAtomically(temporary.string(), bytes) ||
        !platform::moveFileReplacing(temporary.string(), target.string())) {
      std::error_code ignored;
      fs::remove(temporary, ignored);
      throw std::runtime_error("cannot write " + target.string());
    }
  }

  // A document clients read, followed by its signature when the release is signed; the state
  // records both.
  void writeDocument(const std::string& treePath, const std::string& bytes, const ReleaseSigner* signer,
                     PublishState& state) {
    write(treePath, bytes);
    state[treePath] = documentState(bytes);
    if (!signer) return;
    const std::string signature = signatureFor(*signer, bytes, treePath);
    write(signaturePath(treePath), signature);
    state[signaturePath(treePath)] = documentState(signature);
  }

 private:
  fs::path placeFor(const std::string& treePath) const {
    const fs::path target = tree / treePath;
    fs::create_directories(target.parent_path());
    return target;
  }
  fs::path nextTemporary() { return staging / std::to_string(counter++); }

  fs::path tree;
  fs::path staging;
  unsigned counter = 0;
};

// Only a regular file inside the tree is removed, whatever the state file says.
bool removableFromTree(const fs::path& tree, const std::string& treePath) {
  std::error_code error;
  const fs::path path = tree / treePath;
  return fs::is_regular_file(fs::symlink_status(path, error)) && liesWithin(path.parent_path(), tree);
}

// Removes the folders that a removal left empty, up to the tree; never a link.
void removeEmptyFolders(const fs::path& tree, const fs::path& removed) {
  std::error_code error;
  for (fs::path folder = removed.parent_path();
       liesWithin(folder, tree) && !fs::equivalent(folder, tree, error) && !error &&
       fs::is_directory(fs::symlink_status(folder, error)) && fs::remove(folder, error);
       folder = folder.parent_path()) {
  }
}

// Sorts the paths earlier runs published and this one does not into removals and retirements.
void sortOutLeftovers(const fs::path& tree, const PublishState& previous, const std::set<std::string>& current,
                      PublishSummary& summary) {
  for (const auto& [treePath, source] : previous) {
    std::error_code error;
    if (current.count(treePath) != 0 || !fs::exists(fs::symlink_status(tree / treePath, error))) continue;
    if (!removableFromTree(tree, treePath))
      summary.warnings.push_back(treePath + ": not removed, not a regular file inside the tree");
    else (source.retired ? summary.removals : summary.retirements).push_back(treePath);
  }
}

// One run at a time: a second run would clear the first one's staging folder and mix two
// releases in the tree.
std::unique_ptr<platform::FileLock> lockTree(const fs::path& tree) {
  fs::create_directories(tree);
  auto lock = std::make_unique<platform::FileLock>((tree / lockFileName).string());
  if (!lock->held()) throw std::runtime_error(tree.string() + " is being published by another run (" + lockFileName + ")");
  return lock;
}

// What the run will write, decided by reading only.
struct PreparedRelease {
  std::vector<std::vector<PreparedFile>> sets;
  std::set<std::string> paths;  // every tree path of the release
  std::string updaterDigest;
};

PreparedRelease prepareRelease(const PublishPlan& plan, const Release& release, const fs::path& tree,
                               const PublishState& previous, bool signing, std::vector<std::string>& problems) {
  const Preparation preparation(tree, previous);
  PreparedRelease prepared{std::vector<std::vector<PreparedFile>>(release.size()), {}, ""};
  const auto document = [&](const std::string& treePath) {
    prepared.paths.insert(treePath);
    if (signing) prepared.paths.insert(signaturePath(treePath));
  };
  document(catalogueTreePath);
  if (plan.updater) document(updaterDigestTreePath);
  for (std::size_t i = 0; i < release.size(); ++i) {
    document(plan.sets[i].entry.url);
    for (const ReleaseFile& file : release[i]) {
      prepared.sets[i].push_back(preparation.prepare(file, problems));
      prepared.paths.insert(file.treePath);
    }
  }
  if (plan.updater && problems.empty()) {
    prepared.updaterDigest = md5OfFile(plan.updater->string());
    if (prepared.updaterDigest == digestFailure) problems.push_back(plan.updater->string() + ": cannot be read");
  }
  return prepared;
}

// Files first, then lists, updater digest and catalogue, then removals, then the state.
void writeRelease(const PublishPlan& plan, const PreparedRelease& prepared, const PublishState& previous,
                  const fs::path& tree, const ReleaseSigner* signer, PublishSummary& summary) {
  TreeWriter writer(tree);
  PublishState state;
  for (const std::string& treePath : summary.retirements) {
    state[treePath] = previous.at(treePath);
    state[treePath].retired = true;
  }
  for (const auto& files : prepared.sets) {
    for (const PreparedFile& file : files) {
      if (file.compress) writer.compress(file.file->source, file.file->treePath, plan.level);
      state[file.file->treePath] = file.source;
    }
  }
  std::vector<CatalogueEntry> catalogue;
  for (std::size_t i = 0; i < plan.sets.size(); ++i) {
    std::map<std::string, std::string> fileList;
    for (const PreparedFile& file : prepared.sets[i]) fileList[file.file->key] = file.source.digest;
    writer.writeDocument(plan.sets[i].entry.url, compressText(fileListText(fileList), plan.level), signer, state);
    catalogue.push_back(plan.sets[i].entry);
  }
  if (plan.updater) writer.writeDocument(updaterDigestTreePath, prepared.updaterDigest, signer, state);
  writer.writeDocument(catalogueTreePath, compressText(catalogueText(catalogue), plan.level), signer, state);
  for (const std::string& treePath : summary.removals) {
    std::error_code error;
    if (fs::remove(tree / treePath, error)) {
      ++summary.removed;
      removeEmptyFolders(tree, tree / treePath);
    } else if (error) {
      summary.warnings.push_back(treePath + ": not removed, " + error.message());
    }
  }
  writer.write(publishStateFileName, publishStateText(state));
}

}  // namespace

PublishSummary publishTree(const PublishPlan& plan, const fs::path& tree, bool dryRun, const ReleaseSigner* signer) {
  std::vector<std::string> problems;
  const Release release = validateRelease(plan, tree, problems);
  // Taken before the state is read; a dry run and a refused plan only read.
  const std::unique_ptr<platform::FileLock> lock = dryRun || !problems.empty() ? nullptr : lockTree(tree);
  LoadedState previous = readPublishState(tree);
  const PreparedRelease prepared = prepareRelease(plan, release, tree, previous.entries, signer != nullptr, problems);
  if (!problems.empty()) throw PublishRefused(problems);

  PublishSummary summary;
  summary.warnings = std::move(previous.warnings);
  sortOutLeftovers(tree, previous.entries, prepared.paths, summary);
  for (const auto& files : prepared.sets) {
    summary.files += files.size();
    for (const PreparedFile& file : files)
      if (file.compress) summary.written.push_back(file.file->treePath);
  }
  summary.compressed = summary.written.size();
  const auto document = [&](const std::string& treePath) {
    summary.written.push_back(treePath);
    if (signer) summary.written.push_back(signaturePath(treePath));
  };
  for (const PublishedSet& set : plan.sets) document(set.entry.url);
  if (plan.updater) document(updaterDigestTreePath);
  document(catalogueTreePath);
  if (dryRun) summary.removed = summary.removals.size();
  else writeRelease(plan, prepared, previous.entries, tree, signer, summary);
  return summary;
}
