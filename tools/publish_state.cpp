#include "tools/publish_state.h"

#include <nlohmann/json.hpp>

#include <algorithm>

#include "platform/files.h"
#include "tools/publish_names.h"

namespace {

using nlohmann::json;

bool isDigest(const std::string& text) {
  return text.size() == 32 &&
         std::all_of(text.begin(), text.end(), [](char c) { return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'f'); });
}

bool isSourceState(const json& value) {
  return value.is_object() && value.value("modtime", json()).is_number_integer() &&
         value.value("size", json()).is_number_unsigned() && value.value("digest", json()).is_string() &&
         isDigest(value["digest"].get<std::string>());
}

}  // namespace

LoadedState readPublishState(const std::filesystem::path& tree) {
  LoadedState state;
  const auto text = platform::readWholeFile((tree / publishStateFileName).string());
  if (!text) return state;
  const json document = json::parse(*text, nullptr, false);
  if (!document.is_object()) return state;
  for (const auto& [path, value] : document.items()) {
    if (const auto problem = servedPathProblem(path)) {
      state.warnings.push_back(path + ": " + *problem);
    } else if (!isSourceState(value)) {
      state.warnings.push_back(path + ": not a record of modtime, size and digest");
    } else {
      state.entries[path] = SourceState{value["modtime"].get<std::int64_t>(), value["size"].get<std::uintmax_t>(),
                                        value["digest"].get<std::string>(), value.value("retired", json()) == true};
    }
  }
  return state;
}

std::string publishStateText(const PublishState& state) {
  json document = json::object();
  for (const auto& [path, source] : state) {
    document[path] = {{"modtime", source.modtime}, {"size", source.size}, {"digest", source.digest}};
    if (source.retired) document[path]["retired"] = true;
  }
  return document.dump(1);
}
