#include "tools/publish_tree.h"

#include <nlohmann/json.hpp>

#include <ctime>
#include <map>
#include <stdexcept>

#include "platform/files.h"
#include "tools/publish_compress.h"
#include "update/catalogue_json.h"
#include "update/file_digest.h"
#include "update/safe_path.h"

namespace {

using nlohmann::json;
namespace fs = std::filesystem;

constexpr const char* stateFileName = ".publish-state.json";

// What the last run knew about the source of one compressed file in the tree.
struct SourceState {
  std::int64_t modtime = 0;
  std::uintmax_t size = 0;
  std::string digest;
};

using PublishState = std::map<std::string, SourceState>;  // keyed by path in the tree

PublishState readState(const fs::path& tree) {
  PublishState state;
  const auto text = platform::readWholeFile((tree / stateFileName).string());
  if (!text) return state;
  const json document = json::parse(*text, nullptr, false);
  if (!document.is_object()) return state;  // unreadable: everything is compressed again
  for (const auto& [path, value] : document.items()) {
    if (!value.is_object() || !value.value("modtime", json()).is_number_integer() ||
        !value.value("size", json()).is_number_unsigned() || !value.value("digest", json()).is_string())
      continue;
    state[path] = SourceState{value["modtime"].get<std::int64_t>(), value["size"].get<std::uintmax_t>(),
                              value["digest"].get<std::string>()};
  }
  return state;
}

void writeState(const fs::path& tree, const PublishState& state) {
  json document = json::object();
  for (const auto& [path, source] : state)
    document[path] = {{"modtime", source.modtime}, {"size", source.size}, {"digest", source.digest}};
  platform::writeFileAtomically((tree / stateFileName).string(), document.dump(1));
}

void writeDocument(const fs::path& target, const std::string& bytes) {
  fs::create_directories(target.parent_path());
  if (!platform::writeFileAtomically(target.string(), bytes))
    throw std::runtime_error("cannot write " + target.string());
}

// The set's files as keys ("sub/name.ext", always with '/') in ascending order.
std::map<std::string, fs::path> filesOfFolder(const fs::path& folder) {
  if (!fs::is_directory(folder)) throw std::runtime_error("not a folder: " + folder.string());
  std::map<std::string, fs::path> files;
  for (const auto& item : fs::recursive_directory_iterator(folder)) {
    if (item.is_regular_file()) files[item.path().lexically_relative(folder).generic_string()] = item.path();
  }
  return files;
}

class TreeWriter {
 public:
  TreeWriter(const fs::path& tree, int level) : tree(tree), level(level), previous(readState(tree)) {}

  // Brings one compressed file up to date and returns the source's digest.
  std::string publishFile(const fs::path& source, const std::string& treePath) {
    ++summary.files;
    const fs::path target = tree / treePath;
    const SourceState known = previous.count(treePath) ? previous.at(treePath) : SourceState{};
    SourceState now{platform::modificationTime(source.string()).value_or(0), fs::file_size(source), known.digest};
    const bool unchanged = now.modtime == known.modtime && now.size == known.size && fs::exists(target);
    if (!unchanged) {
      now.digest = md5OfFile(source.string());
      if (now.digest == digestFailure) throw std::runtime_error("cannot read " + source.string());
      if (now.digest != known.digest || !fs::exists(target)) compress(source, target);
    }
    // A time in whole seconds that is not older than this run could still be shared by an
    // edit of the same size made after it; such a file is hashed again next time.
    if (now.modtime >= trustedBefore) now.modtime = 0;
    current[treePath] = now;
    return now.digest;
  }

  // Removes compressed files that the last run made and no set names any more.
  PublishSummary finish() {
    for (const auto& [treePath, source] : previous) {
      if (current.count(treePath) == 0 && fs::remove(tree / treePath)) ++summary.removed;
    }
    writeState(tree, current);
    return summary;
  }

 private:
  void compress(const fs::path& source, const fs::path& target) {
    fs::create_directories(target.parent_path());
    if (!compressFile(source, target, level)) throw std::runtime_error("cannot compress " + source.string());
    ++summary.compressed;
  }

  fs::path tree;
  int level;
  std::int64_t trustedBefore = static_cast<std::int64_t>(std::time(nullptr)) - 1;
  PublishState previous;
  PublishState current;
  PublishSummary summary;
};

}  // namespace

PublishSummary publishTree(const PublishPlan& plan, const fs::path& tree) {
  fs::create_directories(tree);
  TreeWriter writer(tree, plan.level);
  std::vector<CatalogueEntry> catalogue;
  for (const PublishedSet& set : plan.sets) {
    std::map<std::string, std::string> fileList;
    for (const auto& [key, source] : filesOfFolder(set.folder)) {
      // Clients refuse a whole list that names a path outside their installation.
      if (!staysInsideInstallation(set.entry.destinationpath + "/" + key))
        throw std::runtime_error("file name that clients would refuse: " + source.string());
      fileList[key] = writer.publishFile(source, set.entry.sourcepath + "/" + key);
    }
    writeDocument(tree / set.entry.url, compressText(fileListText(fileList), plan.level));
    catalogue.push_back(set.entry);
  }
  writeDocument(tree / "json", compressText(catalogueText(catalogue), plan.level));
  if (plan.updater) {
    const std::string digest = md5OfFile(plan.updater->string());
    if (digest == digestFailure) throw std::runtime_error("cannot read the updater " + plan.updater->string());
    writeDocument(tree / "QuarnMpUpdater" / "index.html", digest);
  }
  return writer.finish();
}
