#include "tools/publish_state.h"

#include <nlohmann/json.hpp>

#include "platform/files.h"
#include "tools/publish_names.h"

namespace {

using nlohmann::json;

constexpr const char* liveText = "live";
constexpr const char* retiredText = "retired";

std::optional<PathState> pathState(const json& value) {
  if (value == liveText) return PathState::Live;
  if (value == retiredText) return PathState::Retired;
  if (value.is_object()) return value.value("retired", json()) == true ? PathState::Retired : PathState::Live;
  return std::nullopt;
}

}  // namespace

LoadedState readPublishState(const std::filesystem::path& tree) {
  LoadedState state;
  const platform::FileContent text = platform::readWholeFile((tree / publishStateFileName).string());
  if (!text && !text.missing) state.warnings.push_back(std::string(publishStateFileName) + ": " + text.failure);
  if (!text) return state;
  const json document = json::parse(*text, nullptr, false);
  if (!document.is_object()) return state;
  for (const auto& [path, value] : document.items()) {
    const auto known = pathState(value);
    if (const auto problem = servedPathProblem(path)) state.warnings.push_back(path + ": " + *problem);
    else if (!known) state.warnings.push_back(path + ": neither \"live\" nor \"retired\"");
    else state.entries[path] = *known;
  }
  return state;
}

std::string publishStateText(const PublishState& state) {
  json document = json::object();
  for (const auto& [path, known] : state) document[path] = known == PathState::Live ? liveText : retiredText;
  return document.dump(1);
}
