#include "tools/publish_plan.h"

#include <nlohmann/json.hpp>

#include "platform/files.h"

namespace {

using nlohmann::json;

const json& required(const json& object, const char* key, const std::string& where) {
  auto found = object.find(key);
  if (found == object.end()) throw std::runtime_error(where + ": \"" + key + "\" is missing");
  return *found;
}

std::string requiredText(const json& object, const char* key, const std::string& where) {
  const json& value = required(object, key, where);
  if (!value.is_string()) throw std::runtime_error(where + ": \"" + key + "\" must be a string");
  return value.get<std::string>();
}

PublishedSet setFrom(const json& object, const std::filesystem::path& base, std::size_t index) {
  const std::string where = "set " + std::to_string(index + 1);
  if (!object.is_object()) throw std::runtime_error(where + " is not a JSON object");
  PublishedSet set;
  set.entry.name = requiredText(object, "name", where);
  set.entry.description = object.contains("description") ? requiredText(object, "description", where) : "";
  set.entry.sourcepath = requiredText(object, "sourcepath", where);
  set.entry.destinationpath = requiredText(object, "destinationpath", where);
  set.entry.url = requiredText(object, "url", where);
  const json& isDefault = object.contains("default") ? object["default"] : json(index == 0);
  if (!isDefault.is_boolean()) throw std::runtime_error(where + ": \"default\" must be true or false");
  set.entry.isDefault = isDefault.get<bool>();
  set.folder = base / requiredText(object, "folder", where);
  set.number = index + 1;
  return set;
}

}  // namespace

PublishPlan readPublishPlan(const std::filesystem::path& planFile) {
  const std::string where = planFile.string();
  const auto text = platform::readWholeFile(where);
  if (!text) throw PublishRefused({where + ": cannot read the plan: " + text.failure});
  const json document = json::parse(*text, nullptr, false);
  if (!document.is_object()) throw PublishRefused({where + ": the plan is not a JSON object"});
  PublishPlan plan;
  const auto collect = [&](auto read) {
    try {
      read();
    } catch (const std::runtime_error& problem) {
      plan.problems.push_back(where + ": " + problem.what());
    }
  };

  const std::filesystem::path base = planFile.parent_path();
  collect([&] {
    if (document.contains("updater")) plan.updater = base / requiredText(document, "updater", "plan");
  });
  collect([&] {
    if (!document.contains("level")) return;
    const json& level = document["level"];
    if (!level.is_number_integer() || level.get<int>() < 0 || level.get<int>() > 9)
      throw std::runtime_error("plan: \"level\" must be a whole number from 0 to 9");
    plan.level = level.get<int>();
  });
  collect([&] {
    const json& sets = required(document, "sets", "plan");
    if (!sets.is_array()) throw std::runtime_error("plan: \"sets\" must be an array");
    for (std::size_t i = 0; i < sets.size(); ++i) collect([&] { plan.sets.push_back(setFrom(sets[i], base, i)); });
  });
  return plan;
}
