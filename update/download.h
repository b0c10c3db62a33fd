#pragma once
// One GET to the update server per call, the body inflated as it arrives.
#include <cstddef>
#include <functional>
#include <string>
#include <optional>
#include <string_view>

#include "update/failure.h"

namespace update {

// The longest silence of the server while connecting, sending or receiving. A long transfer
// must also keep an average of 1 KiB/s after its first 30 s.
constexpr long long serverTimeoutMs = 5000;

// baseUrl + path, the path as the catalogue gives it (see formats::requestPath).
std::string serverUrl(const std::string& baseUrl, std::string_view path);

// GETs serverUrl(baseUrl, path) and hands the inflated body of a 200 answer to `consume` as
// it arrives. Nothing on success, else the failure: another status, a time-out, a malformed
// response, a refused name, data that is not one complete zlib or gzip stream, or whatever
// `consume` threw. Connection failures (http::ConnectionError) pass through.
std::optional<Failure> downloadInflated(const std::string& baseUrl, std::string_view path,
                             const std::function<void(std::string_view)>& consume);

// Whether a failure of the functions here says that the server cannot answer now (a 5xx status,
// a silence), so that a mirror may be asked instead.
bool isServerUnavailable(const update::Failure& failure);

// Checks a body exactly as served, before anything reads it: why it is refused, or nothing.
using BodyGate = std::function<std::optional<Failure>(const std::string& served)>;

// What the documents of one fetch (the catalogue and every file list) may take inflated
// together, so that a catalogue naming many large lists cannot exhaust memory.
inline constexpr std::size_t fetchDocumentBudget = 256u << 20;
struct DocumentBudget {
  std::size_t left = fetchDocumentBudget;
};

// A JSON document of at most 64 MiB inflated, taken from the budget; a larger one, or one
// beyond what is left of the budget, is a failure. Under a gate the body (at most 64 MiB as
// well) is held as served and inflated only once it has passed.
Result<std::string> downloadText(const std::string& baseUrl, const std::string& path, DocumentBudget& budget,
                                         const BodyGate& gate = {});

// The body of a 200 answer to a GET of url, as it came, if it is at most `limit` bytes; the
// failure otherwise, as for downloadInflated.
Result<std::string> downloadAsServed(const std::string& url, std::size_t limit);
// The failure downloadAsServed reports for a body over its limit.
std::string bodyTooLargeFailure(std::size_t limit);

}  // namespace update
