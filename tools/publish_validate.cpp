#include "tools/publish_validate.h"

#include <algorithm>
#include <map>
#include <set>

#include "tools/publish_names.h"
#include "formats/release_trust.h"

using formats::CatalogueEntry;
using formats::signaturePath;
using formats::nextSignaturePath;

namespace {

namespace fs = std::filesystem;
using Problems = std::vector<std::string>;

fs::path resolved(const fs::path& path) {
  std::error_code error;
  const fs::path real = fs::weakly_canonical(fs::absolute(path), error);
  return error ? fs::absolute(path).lexically_normal() : real;
}

std::string setLabel(const PublishedSet& set) { return "set " + std::to_string(set.number); }

// Publishing a folder into itself would publish its own output on the next run.
void checkTreePlace(const PublishPlan& plan, const fs::path& tree, Problems& problems) {
  std::error_code error;
  if (fs::exists(tree, error) && !fs::is_directory(tree, error)) problems.push_back(tree.string() + ": not a folder");
  for (const PublishedSet& set : plan.sets) {
    if (liesWithin(tree, set.folder))
      problems.push_back(tree.string() + ": the tree lies inside the folder of " + setLabel(set));
    else if (liesWithin(set.folder, tree))
      problems.push_back(set.folder.string() + ": the folder of " + setLabel(set) + " lies inside the tree");
  }
}

// Clients send a set's sourcepath and its list's url as the catalogue gives them, so "%", "?"
// and "#" there would be read as URL syntax, not as part of a name.
std::optional<std::string> catalogueUrlProblem(std::string_view path) {
  if (auto problem = servedPathProblem(path)) return problem;
  if (path.find_first_of("%?#") != std::string_view::npos) return "% ? and # mean something else in a URL";
  return std::nullopt;
}

void checkSetPaths(const PublishedSet& set, Problems& problems) {
  const CatalogueEntry& entry = set.entry;
  const std::string where = setLabel(set) + " ";
  if (auto problem = catalogueUrlProblem(entry.sourcepath))
    problems.push_back(where + "sourcepath " + entry.sourcepath + ": " + *problem);
  if (auto problem = catalogueUrlProblem(entry.url)) problems.push_back(where + "url " + entry.url + ": " + *problem);
  if (auto problem = installedPathProblem(entry.destinationpath))
    problems.push_back(where + "destinationpath " + entry.destinationpath + ": " + *problem);
}

// Links and special files are refused rather than followed or skipped: a link may point
// anywhere, and skipping silently publishes a set without files its author meant to ship.
std::vector<ReleaseFile> walkSet(const PublishedSet& set, Problems& problems) {
  std::error_code error;
  const fs::file_status status = fs::status(set.folder, error);
  if (!fs::is_directory(status)) {
    problems.push_back(set.folder.string() + ": " + (fs::exists(status) ? "not a folder" : "no such folder"));
    return {};
  }
  std::vector<ReleaseFile> files;
  fs::recursive_directory_iterator item(set.folder, error);
  for (; !error && item != fs::recursive_directory_iterator(); item.increment(error)) {
    const fs::file_status kind = item->symlink_status(error);
    if (error) break;
    const std::string path = item->path().string();
    if (fs::is_symlink(kind)) {
      problems.push_back(path + ": symbolic link");
    } else if (fs::is_regular_file(kind)) {
      const std::string key = item->path().lexically_relative(set.folder).generic_string();
      files.push_back({key, item->path(), set.entry.sourcepath + "/" + key});
    } else if (!fs::is_directory(kind)) {
      problems.push_back(path + ": not a regular file");
    }
  }
  if (error) problems.push_back(set.folder.string() + ": cannot read the folder: " + error.message());
  std::sort(files.begin(), files.end(), [](const ReleaseFile& a, const ReleaseFile& b) { return a.key < b.key; });
  return files;
}

// Where a file's name is, under Windows' folding, a folder of another key ("Data" beside
// "data/x"), one of the two cannot be stored.
void checkFileFolderClashes(std::vector<ReleaseFile>& files, Problems& problems) {
  std::map<std::string, std::string> folders;
  for (const ReleaseFile& file : files)
    for (std::size_t slash = file.key.find('/'); slash != std::string::npos; slash = file.key.find('/', slash + 1))
      folders.emplace(windowsIdentity(file.key.substr(0, slash)), file.key.substr(0, slash));
  std::erase_if(files, [&](const ReleaseFile& file) {
    const auto folder = folders.find(windowsIdentity(file.key));
    if (folder != folders.end()) problems.push_back(file.source.string() + ": one name on Windows with the folder " +
                                                    folder->second);
    return folder != folders.end();
  });
}

// Leaves out the files whose names are refused, so that they are not read later.
void checkKeys(std::vector<ReleaseFile>& files, Problems& problems) {
  std::map<std::string, std::string> byIdentity;
  std::erase_if(files, [&](const ReleaseFile& file) {
    auto problem = servedPathProblem(file.key);
    if (!problem) problem = installedPathProblem(file.key);
    if (problem) {
      problems.push_back(file.source.string() + ": " + *problem);
      return true;
    }
    const auto [known, added] = byIdentity.emplace(windowsIdentity(file.key), file.key);
    if (!added) problems.push_back(file.source.string() + ": one file on Windows with " + known->second);
    return !added;
  });
  checkFileFolderClashes(files, problems);
}

// Every path the release writes, and what claims it; a path that is written twice, or that
// one output needs as a folder while another writes it as a file, cannot be published.
class OutputPaths {
 public:
  void claim(const std::string& path, const std::string& what, Problems& problems) {
    const auto [known, added] = claims.emplace(path, what);
    if (!added) problems.push_back(path + ": written as " + known->second + " and as " + what);
  }

  // A document clients read, with the place of its signature, kept free even for a release
  // that is not signed, so that signing it later never meets a file there.
  void claimDocument(const std::string& path, const std::string& what, Problems& problems) {
    claim(path, what, problems);
    claim(signaturePath(path), "the signature of " + what, problems);
    if (replacedInPlace(path)) claim(nextSignaturePath(path), "the next signature of " + what, problems);
  }

  void checkNesting(Problems& problems) const {
    for (const auto& [path, what] : claims) {
      for (std::size_t slash = path.find('/'); slash != std::string::npos; slash = path.find('/', slash + 1)) {
        const auto outer = claims.find(path.substr(0, slash));
        if (outer != claims.end()) problems.push_back(path + ": " + what + " lies below " + outer->second);
      }
    }
  }

  // What an earlier release left where this one needs a folder or a file: renaming into
  // place must neither fail half-way nor follow a link out of the tree.
  void checkTree(const fs::path& tree, Problems& problems) const {
    std::set<std::string> folders;
    std::error_code error;
    for (const auto& [path, what] : claims) {
      for (std::size_t slash = path.find('/'); slash != std::string::npos; slash = path.find('/', slash + 1)) {
        const std::string folder = path.substr(0, slash);
        if (!folders.insert(folder).second) continue;
        const fs::file_status status = fs::symlink_status(tree / folder, error);
        if (fs::exists(status) && !fs::is_directory(status))
          problems.push_back(path + ": the tree holds a file or link at " + folder);
      }
      const fs::file_status status = fs::symlink_status(tree / path, error);
      if (fs::exists(status) && !fs::is_regular_file(status))
        problems.push_back(path + ": the tree holds a folder or link there");
    }
  }

 private:
  std::map<std::string, std::string> claims;
};

}  // namespace

std::string updaterProgramTreePath(const fs::path& program) { return "QuarnMpUpdater/" + program.filename().string(); }

bool liesWithin(const fs::path& inner, const fs::path& outer) {
  const fs::path relative = resolved(inner).lexically_relative(resolved(outer));
  return !relative.empty() && *relative.begin() != "..";
}

Release validateRelease(const PublishPlan& plan, const fs::path& tree, Problems& problems) {
  problems.insert(problems.end(), plan.problems.begin(), plan.problems.end());
  checkTreePlace(plan, tree, problems);
  OutputPaths outputs;
  outputs.claimDocument(catalogueTreePath, "the catalogue", problems);
  outputs.claimDocument(updaterDigestTreePath, "the updater digest", problems);
  if (plan.updater && !fs::is_regular_file(*plan.updater)) problems.push_back(plan.updater->string() + ": no such file");
  if (plan.updater) {
    // Clients ask for the name as it is, so it must need no URL escaping.
    const std::string name = plan.updater->filename().string();
    if (name.empty() || name.find_first_not_of("ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789._-") !=
                            std::string::npos)
      problems.push_back(plan.updater->string() + ": the updater's file name may hold only letters, digits, '.', '_', '-'");
    else outputs.claimDocument(updaterProgramTreePath(*plan.updater), "the updater program", problems);
  }
  Release release;
  for (const PublishedSet& set : plan.sets) {
    checkSetPaths(set, problems);
    outputs.claimDocument(set.entry.url, "the list of " + setLabel(set), problems);
    release.push_back(walkSet(set, problems));
    checkKeys(release.back(), problems);
    for (const ReleaseFile& file : release.back()) outputs.claim(file.treePath, "a file of " + setLabel(set), problems);
  }
  outputs.checkNesting(problems);
  outputs.checkTree(tree, problems);
  return release;
}
