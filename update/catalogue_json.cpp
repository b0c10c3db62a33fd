#include "update/catalogue_json.h"

#include <nlohmann/json.hpp>

#include "update/safe_path.h"
#include "update/url_path.h"

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

json entryJson(const CatalogueEntry& entry) {
  return {{"name", entry.name},           {"description", entry.description},
          {"sourcepath", entry.sourcepath}, {"destinationpath", entry.destinationpath},
          {"url", entry.url},             {"default", entry.isDefault}};
}

// The server's documents nest three levels at most; a deeper one is refused before the
// parser builds it. A plain scan, so a list of many files parses as fast as before.
constexpr int maxDepth = 64;

json parseDocument(const std::string& text) {
  int depth = 0;
  bool inString = false;
  for (std::size_t i = 0; i < text.size(); ++i) {
    const char c = text[i];
    if (inString) {
      if (c == '\\') ++i;
      else if (c == '"') inString = false;
    } else if (c == '"') {
      inString = true;
    } else if (c == '[' || c == '{') {
      if (++depth > maxDepth) throw std::runtime_error("JSON document nested deeper than 64 levels");
    } else if (c == ']' || c == '}') {
      --depth;
    }
  }
  return json::parse(text);
}

}  // namespace

std::vector<CatalogueEntry> catalogueFromText(const std::string& text) {
  const json document = parseDocument(text);
  std::vector<CatalogueEntry> entries;
  if (document.is_null()) return entries;
  for (const json& element : document) entries.push_back(entryFrom(element));
  return entries;
}

std::vector<FileRecord> fileListFromText(const std::string& text, const CatalogueEntry& entry) {
  const json document = parseDocument(text);
  std::vector<FileRecord> files;
  if (document.is_null()) return files;
  if (!document.is_object()) throw std::runtime_error("file list " + entry.url + " is not a JSON object");
  for (const auto& [key, value] : document.items()) {
    FileRecord record{entry.sourcepath + "/" + percentEncodedKey(key), entry.destinationpath + "/" + key,
                      value.get<std::string>()};
    if (!staysInsideInstallation(record.localPath))
      throw UnsafePathError("file list " + entry.url + " names a path outside the installation: " + record.localPath);
    files.push_back(std::move(record));
  }
  return files;
}

std::string catalogueText(const std::vector<CatalogueEntry>& catalogue) {
  json document = json::array();
  for (const CatalogueEntry& entry : catalogue) document.push_back(entryJson(entry));
  return document.dump();
}

std::string fileListText(const std::map<std::string, std::string>& digestsByKey) {
  return json(digestsByKey).dump();
}
