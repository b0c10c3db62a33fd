#include "update/fetch_catalogue.h"

#include <nlohmann/json.hpp>

#include "update/download.h"
#include "update/safe_path.h"
#include "update/updater_state.h"

namespace {

using nlohmann::json;

// A missing key reads as null, which then fails the type check like a wrong type.
const json& member(const json& object, const char* key) {
  static const json missing;
  if (!object.is_object()) return missing;
  auto found = object.find(key);
  return found == object.end() ? missing : *found;
}

CatalogueEntry entryFrom(const json& element) {
  CatalogueEntry entry;
  entry.name = member(element, "name").get<std::string>();
  entry.description = member(element, "description").get<std::string>();
  entry.sourcepath = member(element, "sourcepath").get<std::string>();
  entry.destinationpath = member(element, "destinationpath").get<std::string>();
  entry.url = member(element, "url").get<std::string>();
  entry.isDefault = member(element, "default").get<bool>();
  return entry;
}

std::vector<CatalogueEntry> entriesFrom(const json& document) {
  std::vector<CatalogueEntry> entries;
  if (document.is_null()) return entries;
  for (const json& element : document) entries.push_back(entryFrom(element));
  return entries;
}

std::vector<FileRecord> filesFrom(const json& document, const CatalogueEntry& entry) {
  std::vector<FileRecord> files;
  if (document.is_null()) return files;
  if (!document.is_object()) throw std::runtime_error("file list " + entry.url + " is not a JSON object");
  for (const auto& [key, value] : document.items()) {
    FileRecord record{entry.sourcepath + "/" + key, entry.destinationpath + "/" + key, value.get<std::string>()};
    if (!staysInsideInstallation(record.localPath))
      throw UnsafePathError("file list " + entry.url + " names a path outside the installation: " + record.localPath);
    files.push_back(std::move(record));
  }
  return files;
}

}  // namespace

bool fetchCatalogue() {
  UpdaterState& state = updaterState();
  state.catalogue.clear();
  state.catalogueFiles.clear();

  std::string text;
  if (!downloadText("json", text)) return false;
  const std::vector<CatalogueEntry> entries = entriesFrom(json::parse(text));

  state.fetchProgress = 0;
  for (const CatalogueEntry& entry : entries) {
    std::string listText;
    if (!downloadText(entry.url, listText)) return false;
    std::vector<FileRecord> files = filesFrom(json::parse(listText), entry);
    state.catalogue.push_back(entry);
    state.catalogueFiles.push_back(std::move(files));
    state.fetchProgress = static_cast<double>(state.catalogue.size()) / static_cast<double>(entries.size());
  }
  return true;
}
