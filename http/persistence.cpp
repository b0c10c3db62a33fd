#include "http/persistence.h"

#include <algorithm>
#include <string>
#include <string_view>

namespace http::detail {

namespace {

std::string_view trim(std::string_view text) {
  while (!text.empty() && (text.front() == ' ' || text.front() == '\t')) text.remove_prefix(1);
  while (!text.empty() && (text.back() == ' ' || text.back() == '\t')) text.remove_suffix(1);
  return text;
}

std::string lowerCase(std::string_view text) {
  std::string lower(text);
  for (char& c : lower) {
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  }
  return lower;
}

// Each non-empty item of a comma-separated field value, trimmed.
template <typename Each>
void forEachItem(std::string_view list, Each each) {
  while (!list.empty()) {
    const auto comma = list.find(',');
    if (const auto item = trim(list.substr(0, comma)); !item.empty()) each(item);
    list.remove_prefix(comma == std::string_view::npos ? list.size() : comma + 1);
  }
}

// Decimal digits, perhaps quoted; anything else (or a value beyond a day's seconds) is capped or 0.
std::uint64_t limitValue(std::string_view text) {
  if (text.size() >= 2 && text.front() == '"' && text.back() == '"') text = text.substr(1, text.size() - 2);
  constexpr std::uint64_t cap = 86400;
  std::uint64_t value = 0;
  for (char c : text) {
    if (c < '0' || c > '9') return 0;
    value = std::min(cap, value * 10 + static_cast<std::uint64_t>(c - '0'));
  }
  return text.empty() ? 0 : value;
}

void noteKeepAlive(Persistence& persistence, std::string_view parameter) {
  const auto equals = parameter.find('=');
  const std::string name = lowerCase(trim(parameter.substr(0, equals)));
  const std::uint64_t value = equals == std::string_view::npos ? 0 : limitValue(trim(parameter.substr(equals + 1)));
  if (name == "max") persistence.maxRequests = value;
  if (name == "timeout") persistence.idleLimitMs = static_cast<std::int64_t>(value) * 1000;
}

}  // namespace

Persistence persistenceAfter(const ResponseReception& reception) {
  const Response& response = reception.response;
  Persistence persistence;
  bool close = false, keepAlive = false;
  for (const HeaderField& field : response.headerFields) {
    if (field.name == "connection") {
      forEachItem(field.value, [&](std::string_view token) {
        const std::string option = lowerCase(token);
        close |= option == "close";
        keepAlive |= option == "keep-alive";
      });
    } else if (field.name == "keep-alive") {
      forEachItem(field.value, [&](std::string_view parameter) { noteKeepAlive(persistence, parameter); });
    }
  }
  const HttpVersion version = response.status.version;
  const bool keptByDefault = version.major > 1 || (version.major == 1 && version.minor >= 1);
  // After 101 the connection speaks another protocol.
  persistence.keep = !close && (keptByDefault || keepAlive) && response.status.code != 101 && endedCleanly(reception);
  return persistence;
}

}  // namespace http::detail
