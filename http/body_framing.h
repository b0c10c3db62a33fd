#pragma once
// The receive side of one exchange: collects bytes as they arrive, skips interim (1xx) heads,
// parses the final header block once it is complete, and takes exactly the announced body: by
// content length, chunked coding, or until the peer closes. Kept apart from the socket so it
// can be driven with any split of the bytes.
#include <cstdint>
#include <string>
#include <string_view>

#include "http/response.h"

namespace http::detail {

// Chunked transfer coding, one size line and data part at a time.
struct ChunkDecoder {
  std::uint64_t remainingChunkSize = 0;
  bool chunkEndExpected = false;
};

enum class Progress { NeedMore, Complete };

// Moves chunk data from the front of `pending` to `body`; throws ResponseError
// "Invalid chunk" (also for a size line longer than 1 KiB) or "Invalid hex digit".
// Complete at the size line 0 (the trailer is not read).
Progress decodeChunks(ChunkDecoder& decoder, std::string& pending, std::string& body);

// The heads of a response (interim ones included) may take at most this many bytes, each at
// most this many fields (ResponseError "Header too large"): a server cannot make the client
// hold an endless head.
inline constexpr std::size_t maxHeadBytes = 64 * 1024;
inline constexpr std::size_t maxHeaderFields = 100;

// The receive side of one exchange, as it stands.
struct ResponseReception {
  Response response;  // filled as far as the bytes so far allow
  // Where the body goes instead of response.body, when set; its false ends the exchange.
  const BodySink* sink = nullptr;
  std::uint64_t bodyReceived = 0;
  std::string pending;  // received, not yet consumed
  std::size_t searchedUpTo = 0;  // how far `pending` was searched for the blank line
  std::size_t headBytes = 0;     // taken by interim heads so far
  bool requestWasHead = false;   // a response to HEAD has no body, whatever its fields say
  bool stoppedBySink = false;    // the sink ended the exchange before the body's end
  bool bytesBeyondBody = false;  // bytes came after the announced end and were dropped
  bool headerSectionParsed = false;
  bool chunked = false;
  bool contentLengthKnown = false;
  std::uint64_t contentLength = 0;
  ChunkDecoder chunkDecoder;
};

// Takes the next received bytes; Complete once the framing says the body is whole. Bytes
// beyond it are dropped. Throws ResponseError for a malformed header block or body, and
// "Invalid header: line ends in LF without CR" as soon as a head line ends in a bare LF.
Progress addReceivedBytes(ResponseReception& reception, std::string_view bytes);

// The peer closed the connection before the exchange was Complete: fine only for a body that
// the close itself ends. Otherwise throws ResponseError "Connection closed without a
// response", "... before the end of the response head", "... before the last chunk" or
// "Connection closed after <n> of <length> body bytes".
void endAtClose(const ResponseReception& reception);

// No byte of a response has arrived yet.
bool nothingReceived(const ResponseReception& reception);

// A Complete reception left nothing unread and nothing extra on its connection: the body read to
// its end, no bytes beyond it, and a chunked body's trailer whole in what arrived.
bool endedCleanly(const ResponseReception& reception);

// A content length or chunk size of decimal or hexadecimal digits; throws ResponseError
// "Invalid digit" / "Invalid hex digit" for any other byte and for a value that does not
// fit in 64 bits. Empty text reads as 0.
std::uint64_t parseContentLength(std::string_view digits);
std::uint64_t parseChunkSize(std::string_view hexDigits);

}  // namespace http::detail
