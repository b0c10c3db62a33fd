#include "tools/publish_tree.h"

#include <ctime>
#include <map>
#include <memory>
#include <optional>
#include <set>
#include <stdexcept>

#include "platform/files.h"
#include "tools/publish_compress.h"
#include "tools/publish_files.h"
#include "tools/publish_live.h"
#include "tools/publish_sign.h"
#include "tools/publish_state.h"
#include "tools/publish_validate.h"
#include "tools/publish_writer.h"
#include "formats/catalogue_json.h"
#include "formats/file_digest.h"
#include "formats/release_trust.h"

using formats::CatalogueEntry;
using formats::catalogueText;
using formats::fileListText;
using formats::hexDigest;
using formats::signaturePath;
using formats::SecretKey;
using formats::nextSignaturePath;

namespace {

namespace fs = std::filesystem;

constexpr const char* lockFileName = ".publish-lock";

std::string releaseFolder(const PublishedSet& set, std::int64_t release) {
  return set.entry.sourcepath + "/" + std::to_string(release);
}
std::string releaseList(const PublishedSet& set, std::int64_t release) {
  return set.entry.url + "." + std::to_string(release);
}

// The first number from `from` on that no plan path contains (so no output of one set can
// land among another's: the plan's paths were checked without it) and that names nothing in
// the tree yet.
std::int64_t freeRelease(const PublishPlan& plan, const fs::path& tree, std::int64_t from) {
  const auto taken = [&](const std::string& path) {
    std::error_code error;
    return fs::exists(fs::symlink_status(tree / path, error));
  };
  for (std::int64_t release = from;; ++release) {
    const std::string name = std::to_string(release);
    bool free = true;
    for (const PublishedSet& set : plan.sets)
      free = free && set.entry.sourcepath.find(name) == std::string::npos &&
             set.entry.url.find(name) == std::string::npos && !taken(releaseFolder(set, release)) &&
             !taken(releaseList(set, release)) && !taken(signaturePath(releaseList(set, release)));
    if (free) return release;
  }
}

// Sorts the paths earlier runs wrote and this one does not into removals and retirements.
// Returns those that are gone already: a killed run may have left their folders empty.
std::vector<std::string> sortOutLeftovers(const fs::path& tree, const PublishState& previous,
                                          const std::set<std::string>& current, PublishSummary& summary) {
  std::vector<std::string> gone;
  for (const auto& [treePath, state] : previous) {
    std::error_code error;
    if (current.count(treePath) != 0) continue;
    if (!fs::exists(fs::symlink_status(tree / treePath, error))) gone.push_back(treePath);
    else if (!regularFileInTree(tree, treePath))
      summary.warnings.push_back(treePath + ": not removed, not a regular file inside the tree");
    else (state == PathState::Retired ? summary.removals : summary.retirements).push_back(treePath);
  }
  return gone;
}

// One run at a time: a second run would clear the first one's staging folder and mix two
// releases in the tree.
std::unique_ptr<platform::FileLock> lockTree(const fs::path& tree) {
  fs::create_directories(tree);
  auto lock = std::make_unique<platform::FileLock>((tree / lockFileName).string());
  if (lock->heldElsewhere())
    throw std::runtime_error(tree.string() + " is being published by another run (" + lockFileName + ")");
  if (!lock->held()) throw std::runtime_error((tree / lockFileName).string() + ": " + *lock->taken().failure);
  return lock;
}

// What the run will write, decided by reading only.
struct PreparedRelease {
  std::int64_t release = 0;
  std::vector<std::vector<PreparedFile>> sets;
  std::vector<std::string> documents;  // the lists, the updater program and digest, the catalogue: writing order
  std::set<std::string> paths;         // every tree path of the release
  std::string updaterProgram;  // as read once: the digest and the served bytes come from it
  std::string updaterDigest;
};

PreparedRelease prepareRelease(const PublishPlan& plan, const Release& release, const fs::path& tree,
                               const LiveRelease& live, std::int64_t number, bool signing,
                               std::vector<std::string>& problems) {
  PreparedRelease prepared{number, std::vector<std::vector<PreparedFile>>(release.size()), {}, {}, "", ""};
  const auto document = [&](const std::string& treePath) {
    prepared.documents.push_back(treePath);
    prepared.paths.insert(treePath);
    if (signing) prepared.paths.insert(signaturePath(treePath));
    if (signing && replacedInPlace(treePath)) prepared.paths.insert(nextSignaturePath(treePath));
  };
  for (std::size_t i = 0; i < release.size(); ++i) {
    const std::optional<std::string> liveFolder = liveFolderOf(plan.sets[i], live.catalogue);
    for (const ReleaseFile& file : release[i]) {
      prepared.sets[i].push_back(prepareFile(file, tree, releaseFolder(plan.sets[i], number), liveFolder, problems));
      prepared.paths.insert(prepared.sets[i].back().output);
    }
    document(releaseList(plan.sets[i], number));
  }
  if (plan.updater) {
    document(updaterProgramTreePath(*plan.updater));
    document(updaterDigestTreePath);
  }
  document(catalogueTreePath);
  if (plan.updater && problems.empty()) {
    platform::FileContent program = platform::readWholeFile(plan.updater->string());
    if (!program) problems.push_back(plan.updater->string() + ": cannot be read: " + program.failure);
    else prepared.updaterDigest = hexDigest(platform::md5Of(prepared.updaterProgram = std::move(*program.content)));
  }
  return prepared;
}

// The new release's files and lists, which nothing names yet. When a source changed while it
// was read, or anything fails, they are removed again and the tree serves what it served.
void writeFilesAndLists(const PublishPlan& plan, const PreparedRelease& prepared, TreeWriter& writer,
                        const ReleaseSigner* signer) {
  try {
    std::vector<std::map<std::string, std::string>> lists(plan.sets.size());
    std::vector<std::string> changed;
    for (std::size_t i = 0; i < plan.sets.size(); ++i) {
      for (const PreparedFile& file : prepared.sets[i]) lists[i][file.file->key] = writer.place(file);
      checkUnchanged(prepared.sets[i], changed);
    }
    if (!changed.empty()) throw PublishRefused(changed);
    for (std::size_t i = 0; i < plan.sets.size(); ++i) {
      const std::string list = compressText(fileListText(lists[i]), plan.level);
      writer.writeDocument(releaseList(plan.sets[i], prepared.release), list, signer);
    }
  } catch (...) {
    writer.removeMade();
    throw;
  }
}

// Names the release in the state, then files and lists, updater program, its digest and catalogue, then
// removals, then the state that retires the release served before.
void writeRelease(const PublishPlan& plan, const PreparedRelease& prepared, const PublishState& previous,
                  const std::vector<std::string>& gone, const fs::path& tree, const ReleaseSigner* signer,
                  PublishSummary& summary) {
  TreeWriter writer(tree, plan.level);
  PublishState state = previous;
  for (const std::string& treePath : prepared.paths) state[treePath] = PathState::Live;
  writer.write(publishStateFileName, publishStateText(state));
  writeFilesAndLists(plan, prepared, writer, signer);
  summary.compressed = writer.compressed;
  if (plan.updater) {
    // The program before its digest: a client that reads the new digest finds the new program.
    writer.writeDocument(updaterProgramTreePath(*plan.updater), compressText(prepared.updaterProgram, plan.level), signer);
    writer.writeDocument(updaterDigestTreePath, prepared.updaterDigest, signer);
  }
  std::vector<CatalogueEntry> catalogue;
  for (const PublishedSet& set : plan.sets) {
    catalogue.push_back(set.entry);
    catalogue.back().sourcepath = releaseFolder(set, prepared.release);
    catalogue.back().url = releaseList(set, prepared.release);
  }
  writer.writeDocument(catalogueTreePath, compressText(catalogueText(catalogue), plan.level), signer);
  summary.removed = removeFiles(tree, summary.removals, summary.warnings);
  for (const std::string& treePath : gone) removeEmptyFolders(tree, tree / treePath);
  state.clear();
  for (const std::string& treePath : prepared.paths) state[treePath] = PathState::Live;
  for (const std::string& treePath : summary.retirements) state[treePath] = PathState::Retired;
  writer.write(publishStateFileName, publishStateText(state));
}

}  // namespace

PublishSummary publishTree(const PublishPlan& plan, const fs::path& tree, bool dryRun, const SecretKey* signingKey) {
  std::vector<std::string> problems;
  const Release release = validateRelease(plan, tree, problems);
  // Taken before the tree is read; a dry run and a refused plan only read.
  const std::unique_ptr<platform::FileLock> lock = dryRun || !problems.empty() ? nullptr : lockTree(tree);
  PublishSummary summary;
  LoadedState previous = readPublishState(tree);
  summary.warnings = std::move(previous.warnings);
  const LiveRelease live = readLiveRelease(tree, signingKey, summary.warnings);
  const std::int64_t clock = static_cast<std::int64_t>(std::time(nullptr));
  const std::int64_t time = signingKey ? nextReleaseTime(clock, live, summary.warnings) : clock;
  const PreparedRelease prepared =
      prepareRelease(plan, release, tree, live, freeRelease(plan, tree, time), signingKey != nullptr, problems);
  if (!problems.empty()) throw PublishRefused(problems);

  summary.release = prepared.release;
  const std::vector<std::string> gone = sortOutLeftovers(tree, previous.entries, prepared.paths, summary);
  for (const auto& files : prepared.sets) {
    summary.files += files.size();
    for (const PreparedFile& file : files) {
      summary.written.push_back(file.output);
      if (dryRun && !inflatesToSource(tree / file.candidate, file)) ++summary.compressed;
    }
  }
  for (const std::string& document : prepared.documents) {
    summary.written.push_back(document);
    if (signingKey) summary.written.push_back(signaturePath(document));
    if (signingKey && replacedInPlace(document)) summary.written.push_back(nextSignaturePath(document));
  }
  std::optional<ReleaseSigner> signer;
  if (signingKey) signer.emplace(ReleaseSigner{*signingKey, prepared.release});
  if (dryRun) summary.removed = summary.removals.size();
  else writeRelease(plan, prepared, previous.entries, gone, tree, signer ? &*signer : nullptr, summary);
  return summary;
}
