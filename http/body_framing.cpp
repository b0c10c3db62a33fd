#include "http/body_framing.h"

#include <algorithm>
#include <limits>

#include "http/errors.h"
#include "http/response_parsing.h"

namespace http::detail {

namespace {

constexpr std::string_view crLf = "\r\n";
constexpr std::string_view blankLine = "\r\n\r\n";

// An announced length is only a claim: reserve at most this much before the data is there.
constexpr std::uint64_t upFrontReservationLimit = 64ull << 20;
// Past that, storage grows towards the announced length by at most this factor of what
// has really arrived, so a hostile length costs a bounded multiple of the real body.
constexpr std::uint64_t growthFactor = 4;

int digitValue(char c, int base) {
  if (c >= '0' && c <= '9') return c - '0';
  if (base == 16 && c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (base == 16 && c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

std::uint64_t parseNumber(std::string_view digits, int base, const char* error) {
  std::uint64_t value = 0;
  constexpr auto maximum = std::numeric_limits<std::uint64_t>::max();
  for (char c : digits) {
    const int digit = digitValue(c, base);
    if (digit < 0) throw ResponseError(error);
    // A value that does not fit would wrap around to a small, wrong length.
    if (value > (maximum - static_cast<unsigned>(digit)) / static_cast<unsigned>(base)) throw ResponseError(error);
    value = value * static_cast<unsigned>(base) + static_cast<unsigned>(digit);
  }
  return value;
}

void reserveUpTo(std::string& body, std::uint64_t wanted) {
  const std::uint64_t limit = std::min<std::uint64_t>(wanted, body.max_size());
  if (limit > body.capacity()) body.reserve(static_cast<std::size_t>(limit));
}

}  // namespace

std::uint64_t parseContentLength(std::string_view digits) { return parseNumber(digits, 10, "Invalid digit"); }

std::uint64_t parseChunkSize(std::string_view hexDigits) { return parseNumber(hexDigits, 16, "Invalid hex digit"); }

Progress decodeChunks(ChunkDecoder& decoder, std::string& pending, std::string& body) {
  while (true) {
    if (decoder.remainingChunkSize != 0) {
      const std::size_t count = static_cast<std::size_t>(
          std::min<std::uint64_t>(pending.size(), decoder.remainingChunkSize));
      body.append(pending, 0, count);
      pending.erase(0, count);
      decoder.remainingChunkSize -= count;
      if (decoder.remainingChunkSize == 0) decoder.chunkEndExpected = true;
      if (pending.empty()) return Progress::NeedMore;
    }
    if (decoder.chunkEndExpected) {
      if (pending.size() < 2) return Progress::NeedMore;
      if (std::string_view(pending).substr(0, 2) != crLf) throw ResponseError("Invalid chunk");
      pending.erase(0, 2);
      decoder.chunkEndExpected = false;
    }
    const auto lineEnd = pending.find(crLf);
    if (lineEnd == std::string::npos) return Progress::NeedMore;
    const std::uint64_t size = parseChunkSize(std::string_view(pending).substr(0, lineEnd));
    pending.erase(0, lineEnd + 2);
    if (size == 0) return Progress::Complete;
    decoder.remainingChunkSize = size;
  }
}

Progress ResponseAssembler::receive(std::string_view bytes) {
  if (headerSectionParsed && !chunked && pending.empty()) {
    // The common case of a long body: straight into place, no detour through `pending`.
    if (contentLengthKnown && response.body.size() + bytes.size() > response.body.capacity()) {
      const std::uint64_t held = response.body.size() + bytes.size();
      reserveUpTo(response.body, std::min(contentLength, std::max(held, response.body.capacity() * growthFactor)));
    }
    response.body.append(bytes);
    return contentLengthKnown && response.body.size() >= contentLength ? Progress::Complete : Progress::NeedMore;
  }
  pending.append(bytes);
  if (!headerSectionParsed) {
    // Only the new bytes (and the three before them) can complete the blank line.
    const std::size_t from = searchedUpTo >= 3 ? searchedUpTo - 3 : 0;
    const auto at = pending.find(blankLine, from);
    searchedUpTo = pending.size();
    if (at == std::string::npos) return Progress::NeedMore;
    parseHeaderBlock(at + 2);
    pending.erase(0, at + 4);
    headerSectionParsed = true;
  }
  return takeBody();
}

void ResponseAssembler::parseHeaderBlock(std::size_t blockLength) {
  const char* position = pending.data();
  const char* const end = position + blockLength;
  auto status = parseStatusLine(position, end);
  response.status = std::move(status.value);
  position = status.next;
  while (position != end) {
    auto field = parseHeaderField(position, end);
    noteFramingField(field.value);
    response.headerFields.push_back(std::move(field.value));
    position = field.next;
  }
}

void ResponseAssembler::noteFramingField(const HeaderField& field) {
  if (field.name == "transfer-encoding") {
    if (field.value != "chunked") throw ResponseError("Unsupported transfer encoding: " + field.value);
    chunked = true;
  } else if (field.name == "content-length") {
    contentLength = parseContentLength(field.value);
    contentLengthKnown = true;
    reserveUpTo(response.body, std::min(contentLength, upFrontReservationLimit));
  }
}

Progress ResponseAssembler::takeBody() {
  if (chunked) return decodeChunks(chunkDecoder, pending, response.body);
  response.body += pending;
  pending.clear();
  return contentLengthKnown && response.body.size() >= contentLength ? Progress::Complete : Progress::NeedMore;
}

}  // namespace http::detail
