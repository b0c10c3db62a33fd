// Read whole or in small pieces, a response ends alike: the same body (up to bytes past a length) or the same error.
#include <cstdlib>
#include <utility>

#include "http/body_framing.h"
#include "http/errors.h"

namespace {

// How the bytes, added in pieces of `pieceSize`, end ("complete", "incomplete" or the error), and the body.
std::pair<std::string, std::string> assemble(std::string_view bytes, std::size_t pieceSize) {
  http::detail::ResponseReception reception;
  try {
    for (std::size_t at = 0; at < bytes.size(); at += pieceSize) {
      if (http::detail::addReceivedBytes(reception, bytes.substr(at, pieceSize)) == http::detail::Progress::Complete)
        return {"complete", reception.response.body};
    }
    return {"incomplete", ""};  // the peer would close here: lengths may differ
  } catch (const http::ResponseError& e) {
    return {e.what(), ""};
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size == 0) return 0;
  const std::string_view bytes(reinterpret_cast<const char*>(data) + 1, size - 1);
  const auto [wholeEnd, wholeBody] = assemble(bytes, bytes.size() + 1);
  const auto [piecesEnd, piecesBody] = assemble(bytes, 1 + data[0] % 16);
  // Bytes past a content length stay only when in the same piece: one body may run on past the other.
  if (wholeEnd != piecesEnd || (!wholeBody.starts_with(piecesBody) && !piecesBody.starts_with(wholeBody)))
    std::abort();
  return 0;
}
