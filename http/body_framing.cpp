#include "http/body_framing.h"

#include <algorithm>
#include <limits>
#include <string>

#include "http/errors.h"
#include "http/response_parsing.h"
#include "platform/memory.h"

namespace http::detail {

namespace {

constexpr std::string_view crLf = "\r\n";
constexpr std::string_view blankLine = "\r\n\r\n";

// An announced length is only a claim: reserve at most this much before the data is there.
constexpr std::uint64_t upFrontReservationLimit = 64ull << 20;
// Past that, storage grows towards the announced length by at most this factor of what
// has really arrived, so a hostile length costs a bounded multiple of the real body.
constexpr std::uint64_t growthFactor = 4;
// A chunk size line is a few hex digits; a longer one is not waited for.
constexpr std::size_t maxSizeLine = 1024;

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
  if (limit <= body.capacity()) return;
  body.reserve(static_cast<std::size_t>(limit));
  // The body is about to be filled in full; large pages spare most of its page faults.
  platform::adviseLargeBuffer(body.data(), body.capacity());
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
    if (lineEnd == std::string::npos) {
      if (pending.size() > maxSizeLine + 1) throw ResponseError("Invalid chunk");
      return Progress::NeedMore;
    }
    if (lineEnd > maxSizeLine) throw ResponseError("Invalid chunk");
    const std::uint64_t size = parseChunkSize(std::string_view(pending).substr(0, lineEnd));
    pending.erase(0, lineEnd + 2);
    if (size == 0) return Progress::Complete;
    decoder.remainingChunkSize = size;
  }
}

namespace {

// Interim answers (100 Continue, 103 Early Hints) come before the final one; 101 is final.
bool isInterim(std::uint16_t code) { return code >= 100 && code <= 199 && code != 101; }

// 1xx, 204, 304 and every answer to HEAD end with their head, whatever their fields announce.
bool hasNoBody(const ResponseReception& reception) {
  const std::uint16_t code = reception.response.status.code;
  return reception.requestWasHead || (code >= 100 && code <= 199) || code == 204 || code == 304;
}

void noteFramingField(ResponseReception& reception, const HeaderField& field) {
  if (field.name == "transfer-encoding") {
    if (field.value != "chunked") throw ResponseError("Unsupported transfer encoding: " + field.value);
    reception.chunked = true;
  } else if (field.name == "content-length") {
    reception.contentLength = parseContentLength(field.value);
    reception.contentLengthKnown = true;
    if (reception.sink == nullptr && !hasNoBody(reception)) {
      reserveUpTo(reception.response.body, std::min(reception.contentLength, upFrontReservationLimit));
    }
  }
}

void parseHeaderBlock(ResponseReception& reception, std::size_t blockLength) {
  const char* position = reception.pending.data();
  const char* const end = position + blockLength;
  auto status = parseStatusLine(position, end);
  reception.response.status = std::move(status.value);
  position = status.next;
  while (position != end) {
    if (reception.response.headerFields.size() == maxHeaderFields) throw ResponseError("Header too large");
    auto field = parseHeaderField(position, end);
    noteFramingField(reception, field.value);
    reception.response.headerFields.push_back(std::move(field.value));
    position = field.next;
  }
}

Progress bodyProgress(const ResponseReception& reception) {
  const bool whole = reception.contentLengthKnown && reception.bodyReceived >= reception.contentLength;
  return whole ? Progress::Complete : Progress::NeedMore;
}

// Body bytes in arrival order: to the sink, or straight into place (the common case of a long
// body, with no detour through `pending`).
Progress takeBody(ResponseReception& reception, std::string_view bytes) {
  // Bytes beyond the announced length are not part of the body.
  if (reception.contentLengthKnown) {
    const std::uint64_t missing = reception.contentLength - reception.bodyReceived;
    reception.bytesBeyondBody |= bytes.size() > missing;
    bytes = bytes.substr(0, static_cast<std::size_t>(std::min<std::uint64_t>(bytes.size(), missing)));
  }
  reception.bodyReceived += bytes.size();
  if (reception.sink != nullptr) {
    if (!bytes.empty() && !(*reception.sink)(reception.response, bytes)) {
      reception.stoppedBySink = true;
      return Progress::Complete;
    }
    return bodyProgress(reception);
  }
  std::string& body = reception.response.body;
  if (reception.contentLengthKnown && body.size() + bytes.size() > body.capacity()) {
    const std::uint64_t held = body.size() + bytes.size();
    reserveUpTo(body, std::min(reception.contentLength, std::max(held, body.capacity() * growthFactor)));
  }
  body.append(bytes);
  return bodyProgress(reception);
}

// Chunk data is decoded into `response.body`; a sink takes it from there.
Progress takeChunks(ResponseReception& reception) {
  std::string& body = reception.response.body;
  const Progress progress = decodeChunks(reception.chunkDecoder, reception.pending, body);
  if (reception.sink == nullptr || body.empty()) return progress;
  reception.stoppedBySink = !(*reception.sink)(reception.response, body);
  body.clear();
  return reception.stoppedBySink ? Progress::Complete : progress;
}

// The heads must end within maxHeadBytes; once `pending` holds the rest of that budget
// without the blank line, they cannot. A bare LF cannot end a line, so it fails at once
// rather than leave the client waiting for a blank line that never comes.
std::size_t findHeadEnd(ResponseReception& reception) {
  const std::string& pending = reception.pending;
  const std::size_t budget = maxHeadBytes - reception.headBytes;
  // Only the new bytes (and the three before them) can complete the blank line.
  const std::size_t from = reception.searchedUpTo >= 3 ? reception.searchedUpTo - 3 : 0;
  const auto at = pending.find(blankLine, from);
  const std::size_t headEnd = std::min(at == std::string::npos ? pending.size() : at + 4, budget);
  for (auto lf = pending.find('\n', reception.searchedUpTo); lf < headEnd; lf = pending.find('\n', lf + 1)) {
    if (lf == 0 || pending[lf - 1] != '\r') throw ResponseError("Invalid header: line ends in LF without CR");
  }
  reception.searchedUpTo = pending.size();
  const bool tooLarge = at == std::string::npos ? pending.size() >= budget : at + 4 > budget;
  if (tooLarge) throw ResponseError("Header too large");
  return at;
}

// Parses the next head once `pending` holds it whole; false while it does not. After an
// interim head the reception starts over, its bytes counted against the budget.
bool takeHead(ResponseReception& reception) {
  const auto at = findHeadEnd(reception);
  if (at == std::string::npos) return false;
  parseHeaderBlock(reception, at + 2);
  reception.pending.erase(0, at + 4);
  reception.searchedUpTo = 0;
  if (!isInterim(reception.response.status.code)) {
    reception.headerSectionParsed = true;
    return true;
  }
  reception.headBytes += at + 4;
  reception.response = Response{};
  reception.chunked = reception.contentLengthKnown = false;
  reception.contentLength = 0;
  return true;
}

}  // namespace

Progress addReceivedBytes(ResponseReception& reception, std::string_view bytes) {
  std::string& pending = reception.pending;
  if (reception.headerSectionParsed && !reception.chunked && pending.empty()) return takeBody(reception, bytes);
  pending.append(bytes);
  if (!reception.headerSectionParsed) {
    while (!reception.headerSectionParsed) {
      if (!takeHead(reception)) return Progress::NeedMore;
    }
    if (hasNoBody(reception)) return Progress::Complete;
  }
  if (reception.chunked) return takeChunks(reception);
  const std::string rest = std::move(pending);
  pending.clear();
  return takeBody(reception, rest);
}

bool nothingReceived(const ResponseReception& reception) {
  // Head bytes stay in `pending` until their head is parsed.
  return !reception.headerSectionParsed && reception.pending.empty() && reception.headBytes == 0;
}

bool endedCleanly(const ResponseReception& reception) {
  if (reception.stoppedBySink || reception.bytesBeyondBody) return false;
  if (!reception.chunked || hasNoBody(reception)) return reception.pending.empty();
  // After the last chunk's size line: an empty trailer, or trailer fields and a blank line.
  const std::string_view rest = reception.pending;
  const auto end = rest.find(blankLine);
  return rest == crLf || (!rest.starts_with(crLf) && end != std::string_view::npos && end + 4 == rest.size());
}

void endAtClose(const ResponseReception& reception) {
  if (!reception.headerSectionParsed) {
    throw ResponseError(nothingReceived(reception) ? "Connection closed without a response"
                                : "Connection closed before the end of the response head");
  }
  if (reception.chunked) throw ResponseError("Connection closed before the last chunk");
  if (reception.contentLengthKnown && reception.bodyReceived < reception.contentLength) {
    throw ResponseError("Connection closed after " + std::to_string(reception.bodyReceived) + " of " +
                        std::to_string(reception.contentLength) + " body bytes");
  }
}

}  // namespace http::detail
