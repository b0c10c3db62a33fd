#include "formats/release_timestamp.h"

#include <charconv>
#include <ctime>
#include <nlohmann/json.hpp>
#include <stdexcept>

#include "platform/files.h"

namespace formats {

namespace {

bool readSeconds(std::string_view text, std::int64_t& seconds) {
  const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), seconds);
  return error == std::errc() && end == text.data() + text.size() && seconds >= 0;
}

}  // namespace

std::string trustedCommentFor(const ReleaseStamp& stamp) {
  return "timestamp:" + std::to_string(stamp.timestamp) + "\tfile:" + stamp.file;
}

std::optional<ReleaseStamp> parseTrustedComment(std::string_view comment) {
  std::optional<std::int64_t> timestamp;
  std::optional<std::string> file;
  while (true) {
    const std::size_t tab = comment.find('\t');
    const std::string_view field = comment.substr(0, tab);
    std::int64_t seconds = 0;
    if (field.starts_with("timestamp:") && readSeconds(field.substr(10), seconds)) timestamp = seconds;
    else if (field.starts_with("file:")) file = field.substr(5);
    if (tab == std::string_view::npos) break;
    comment.remove_prefix(tab + 1);
  }
  if (!timestamp || !file) return std::nullopt;
  return ReleaseStamp{*timestamp, *file};
}

std::uint64_t readAcceptedRelease(const std::string& folder) {
  const std::string path = folder + releaseRecordName;
  // Only a record that is not there means "none yet": one that cannot be read accepts nothing.
  const platform::FileContent text = platform::readWholeFile(path);
  if (text.missing) return 0;
  if (!text)
    throw std::runtime_error(path + " cannot be read (" + text.failure + "); remove it to accept any signed release");
  const nlohmann::json record = nlohmann::json::parse(*text, nullptr, false);
  if (!record.is_object() || !record.contains("timestamp") || !record["timestamp"].is_number_unsigned())
    throw std::runtime_error(path + " cannot be read; remove it to accept any signed release");
  return record["timestamp"].get<std::uint64_t>();
}

platform::FileResult writeAcceptedRelease(const std::string& folder, std::uint64_t timestamp) {
  const std::string record = nlohmann::json{{"timestamp", timestamp}}.dump() + "\n";
  return platform::writeFileAtomically(folder + releaseRecordName, record);
}

std::int64_t releaseAge(std::int64_t timestamp) { return static_cast<std::int64_t>(std::time(nullptr)) - timestamp; }

}  // namespace formats
