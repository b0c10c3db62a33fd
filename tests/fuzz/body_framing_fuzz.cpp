// Read whole or in small pieces, a response ends alike: the same body or the same error, also when the peer closes.
#include <cstdlib>
#include <utility>

#include "http/body_framing.h"
#include "http/errors.h"

namespace {

// How the bytes, added in pieces of `pieceSize`, end ("complete", "closed" or the error), and the body.
std::pair<std::string, std::string> assemble(std::string_view bytes, std::size_t pieceSize, bool head) {
  http::detail::ResponseReception reception;
  reception.requestWasHead = head;
  try {
    for (std::size_t at = 0; at < bytes.size(); at += pieceSize) {
      if (http::detail::addReceivedBytes(reception, bytes.substr(at, pieceSize)) == http::detail::Progress::Complete)
        return {"complete", reception.response.body};
    }
    http::detail::endAtClose(reception);  // the peer closes here
    return {"closed", reception.response.body};
  } catch (const http::ResponseError& e) {
    return {e.what(), ""};
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size == 0) return 0;
  const std::string_view bytes(reinterpret_cast<const char*>(data) + 1, size - 1);
  const bool head = data[0] & 0x80;
  if (assemble(bytes, bytes.size() + 1, head) != assemble(bytes, 1 + data[0] % 16, head)) std::abort();
  return 0;
}
