#include "update/release_verification.h"

#include "formats/release_signature.h"
#include "formats/release_timestamp.h"
#include "update/download.h"

namespace update {

using namespace formats;

namespace {

// A signature file is a few hundred bytes; its trusted comment names one path.
constexpr std::size_t signatureLimit = 64 * 1024;

// The next release's signature, for a document that its own signature does not match; the
// first failure stands when there is none or it does not match either.
SignatureCheck checkNextSignature(const PublicKey& key, const std::string& url, std::string_view served,
                                  SignatureCheck failed) {
  const Result<std::string> next = downloadAsServed(url, signatureLimit);
  if (!next.ok()) return failed;
  SignatureCheck check = checkSignature(key, next.value(), served);
  return check.failure.empty() ? check : failed;
}

}  // namespace

const TrustedKey& builtInKey() {
  // Never destroyed: detached digest requests may still read it while the process ends.
  static const auto* key = new TrustedKey(trustedKeyFrom(builtInKeyLine));
  return *key;
}

Result<std::int64_t> verifyServedDocument(const PublicKey& key, const std::string& baseUrl, const std::string& path,
                                          std::string_view served) {
  const Result<std::string> signature = downloadAsServed(serverUrl(baseUrl, signaturePath(path)), signatureLimit);
  if (!signature.ok() && signature.failure().reason == bodyTooLargeFailure(signatureLimit))
    return Failure{"signature too large (over 64 KiB)"};
  if (!signature.ok()) return Failure{"signature missing (" + signature.failure().reason + ")"};
  SignatureCheck check = checkSignature(key, signature.value(), served);
  if (check.failure.ends_with("(the document is not the one signed)"))
    check = checkNextSignature(key, serverUrl(baseUrl, nextSignaturePath(path)), served, std::move(check));
  if (!check.failure.empty()) return Failure{check.failure};
  const auto stamp = parseTrustedComment(check.trustedComment);
  if (!stamp) return Failure{"signature invalid (the trusted comment names no timestamp and file)"};
  if (stamp->file != path) return Failure{"signed for another file (" + stamp->file + ")"};
  return stamp->timestamp;
}

}  // namespace update
