#include "formats/catalogue_json.h"

#include <nlohmann/json.hpp>

#include <algorithm>
#include <functional>
#include <set>
#include <cstdint>
#include <stdexcept>
#include <string_view>

#include "formats/safe_path.h"

namespace formats {

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
// parser reads it. A plain scan, so a large catalogue parses as fast as before.
constexpr int maxDepth = 64;

void checkNesting(const std::string& text) {
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
}

bool isEntryField(const json& key) {
  static const std::set<std::string, std::less<>> fields{"name", "description", "sourcepath", "destinationpath", "url",
                                                         "default"};
  return fields.contains(key.get_ref<const std::string&>());
}

// Each entry is converted as soon as the parser has read it and then dropped, so the
// catalogue never stands as a whole document tree: members other than the six fields are
// dropped as they are read, and so is an array or object inside an entry (no field may hold one).
// Of an object, the entries come in key order. Depth 0 is the document, 1 its elements,
// 2 their members.
struct CatalogueReader {
  std::vector<CatalogueEntry> inOrder;
  std::map<std::string, CatalogueEntry> byKey;
  bool isObject = false;
  std::string memberName;

  bool operator()(int depth, json::parse_event_t event, json& parsed) {
    using Event = json::parse_event_t;
    if (depth == 0) {
      isObject = isObject || event == Event::object_start;
      return true;
    }
    if (depth == 1 && event == Event::key) memberName = parsed.get<std::string>();
    if (depth == 1 && event == Event::array_start) entryFrom(json::array());  // throws, as for any entry not an object
    if (depth == 1 && (event == Event::object_end || event == Event::value)) {
      CatalogueEntry entry = entryFrom(parsed);
      if (isObject) byKey[memberName] = std::move(entry);
      else inOrder.push_back(std::move(entry));
      return false;
    }
    if (depth == 2 && event == Event::key) return isEntryField(parsed);
    return depth == 1 || event == Event::value;
  }
};

// Reads {key: digest} (or null) straight into ListedFiles: no document tree is built. Each
// member is a file; a value that is not a string fails the whole list, as does anything
// other than an object or null at the top.
struct ListReader : nlohmann::json_sax<json> {
  ListedFiles& listed;
  const std::string& url;
  bool inObject = false;
  std::string currentKey;

  ListReader(ListedFiles& listed, const std::string& url) : listed(listed), url(url) {}

  [[noreturn]] void refuse(const std::string& why) { throw std::runtime_error("file list " + url + " " + why); }
  bool scalar() { refuse(inObject ? "gives no text digest for " + currentKey : "is not a JSON object"); }

  bool null() override { return !inObject || scalar(); }
  bool boolean(bool) override { return scalar(); }
  bool number_integer(number_integer_t) override { return scalar(); }
  bool number_unsigned(number_unsigned_t) override { return scalar(); }
  bool number_float(number_float_t, const string_t&) override { return scalar(); }
  bool binary(binary_t&) override { return scalar(); }
  bool start_array(std::size_t) override { return scalar(); }
  bool end_array() override { return scalar(); }
  bool start_object(std::size_t) override {
    if (inObject) scalar();
    return inObject = true;
  }
  bool end_object() override { return true; }
  bool key(string_t& name) override {
    currentKey = std::move(name);
    return true;
  }
  // Offsets fit in 32 bits: a document is at most 64 MiB.
  bool string(string_t& digest) override {
    if (!inObject) scalar();
    const auto size = [](std::size_t count) { return static_cast<std::uint32_t>(count); };
    listed.files.push_back({size(listed.text.size()), size(currentKey.size()), size(digest.size()),
                            !staysInsideInstallation(currentKey)});
    listed.text += currentKey;
    listed.text += digest;
    return true;
  }
  bool parse_error(std::size_t, const std::string&, const nlohmann::detail::exception& error) override {
    throw std::runtime_error(error.what());
  }
};

// Ascending byte order of the keys; of a key given twice the last digest counts.
void sortByKey(ListedFiles& listed) {
  const auto keyOf = [&](const ListedFiles::File& file) {
    return std::string_view(listed.text).substr(file.start, file.keyLength);
  };
  const auto before = [&](const ListedFiles::File& a, const ListedFiles::File& b) { return keyOf(a) < keyOf(b); };
  auto& files = listed.files;
  if (std::adjacent_find(files.begin(), files.end(), [&](auto& a, auto& b) { return !before(a, b); }) == files.end())
    return;  // as the publisher writes lists
  std::stable_sort(files.begin(), files.end(), before);
  std::size_t kept = 0;
  for (std::size_t i = 0; i < files.size(); ++i) {
    if (i + 1 < files.size() && keyOf(files[i]) == keyOf(files[i + 1])) continue;
    files[kept++] = files[i];
  }
  files.resize(kept);
}

}  // namespace

std::vector<CatalogueEntry> catalogueFromText(const std::string& text) {
  checkNesting(text);
  CatalogueReader reader;
  const json document = json::parse(text, std::ref(reader));
  // What is left: null, an emptied array or object, or a single value, which is no entry.
  if (!document.is_null())
    for (const json& element : document) reader.inOrder.push_back(entryFrom(element));
  for (auto& [name, entry] : reader.byKey) reader.inOrder.push_back(std::move(entry));
  return std::move(reader.inOrder);
}

std::shared_ptr<const ListedFiles> listedFilesFromText(const std::string& text, const std::string& url) {
  auto listed = std::make_shared<ListedFiles>();
  ListReader reader{*listed, url};
  listed->text.reserve(text.size());  // keys and digests are never longer than their JSON form
  json::sax_parse(text, &reader);
  sortByKey(*listed);
  if (listed->text.size() < listed->text.capacity() / 2) listed->text.shrink_to_fit();
  if (listed->files.size() < listed->files.capacity() / 2) listed->files.shrink_to_fit();
  return listed;
}

FileList fileListOf(std::shared_ptr<const ListedFiles> listed, const CatalogueEntry& entry) {
  if (!staysInsideInstallation(entry.destinationpath))
    throw UnsafePathError("set " + entry.name + " has a destination outside the installation: " +
                          entry.destinationpath);
  return FileList(std::move(listed), entry);
}

FileList fileListFromText(const std::string& text, const CatalogueEntry& entry) {
  return fileListOf(listedFilesFromText(text, entry.url), entry);
}

std::string catalogueText(const std::vector<CatalogueEntry>& catalogue) {
  json document = json::array();
  for (const CatalogueEntry& entry : catalogue) document.push_back(entryJson(entry));
  return document.dump();
}

std::string fileListText(const std::map<std::string, std::string>& digestsByKey) {
  return json(digestsByKey).dump();
}

}  // namespace formats
