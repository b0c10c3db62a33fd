#include "update/release_verification.h"

#include "formats/release_signature.h"
#include "formats/release_timestamp.h"
#include "update/download.h"

using namespace formats;

namespace {

// A signature file is a few hundred bytes; its trusted comment names one path.
constexpr std::size_t signatureLimit = 64 * 1024;

}  // namespace

const TrustedKey& builtInKey() {
  // Never destroyed: detached digest requests may still read it while the process ends.
  static const auto* key = new TrustedKey(trustedKeyFrom(builtInKeyLine));
  return *key;
}

VerifiedDocument verifyServedDocument(const PublicKey& key, const std::string& baseUrl, const std::string& path,
                                      std::string_view served) {
  const Downloaded<std::string> signature = downloadAsServed(serverUrl(baseUrl, signaturePath(path)), signatureLimit);
  if (signature.failure == bodyTooLargeFailure(signatureLimit)) return {0, "signature too large (over 64 KiB)"};
  if (!signature.ok()) return {0, "signature missing (" + signature.failure + ")"};
  const SignatureCheck check = checkSignature(key, signature.content, served);
  if (!check.failure.empty()) return {0, check.failure};
  const auto stamp = parseTrustedComment(check.trustedComment);
  if (!stamp) return {0, "signature invalid (the trusted comment names no timestamp and file)"};
  if (stamp->file != path) return {0, "signed for another file (" + stamp->file + ")"};
  return {stamp->timestamp, ""};
}
