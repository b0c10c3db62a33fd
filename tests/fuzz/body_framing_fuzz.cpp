// A response read in one piece and the same bytes read in small pieces must end alike:
// the same body (up to bytes past a content length), or the same error. Splits are where framing code goes wrong.
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

#include "http/body_framing.h"
#include "http/errors.h"

namespace {

struct Outcome {
  bool complete = false;
  std::string error;
  std::string body;
};

Outcome assemble(std::string_view bytes, std::size_t pieceSize) {
  http::detail::ResponseReception reception;
  Outcome outcome;
  try {
    while (!bytes.empty() && !outcome.complete) {
      const std::string_view piece = bytes.substr(0, pieceSize);
      bytes.remove_prefix(piece.size());
      outcome.complete = http::detail::addReceivedBytes(reception, piece) == http::detail::Progress::Complete;
    }
    if (!outcome.complete) return outcome;  // the peer would close here: lengths may differ
    outcome.body = reception.response.body;
  } catch (const http::ResponseError& e) {
    outcome.error = e.what();
  }
  return outcome;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size == 0) return 0;
  const std::size_t pieceSize = 1 + data[0] % 16;
  const std::string_view bytes(reinterpret_cast<const char*>(data) + 1, size - 1);
  const Outcome whole = assemble(bytes, bytes.size() + 1);
  const Outcome pieces = assemble(bytes, pieceSize);
  if (whole.complete != pieces.complete || whole.error != pieces.error) std::abort();
  // Bytes beyond a content length are kept only when they come in the same piece, so one
  // body may run on past the other, but never differ from it.
  if (!whole.body.starts_with(pieces.body) && !pieces.body.starts_with(whole.body)) std::abort();
  return 0;
}
