#include "update/release_verification.h"

#include "update/download.h"
#include "update/release_signature.h"
#include "update/release_timestamp.h"

const std::optional<PublicKey>& builtInPublicKey() {
  // Never destroyed: detached digest requests may still read it while the process ends.
  static const auto* key = new std::optional<PublicKey>(parsePublicKey(QUARNMP_PUBLIC_KEY));
  return *key;
}

std::string signaturePath(const std::string& path) { return path + ".minisig"; }

VerifiedDocument verifyServedDocument(const PublicKey& key, const std::string& baseUrl, const std::string& path,
                                      std::string_view served) {
  std::string failure;
  const auto signature = fetchBody(baseUrl + signaturePath(path), failure);
  if (!signature) return {0, "signature missing (" + failure + ")"};
  const SignatureCheck check = checkSignature(key, *signature, served);
  if (!check.failure.empty()) return {0, check.failure};
  const auto stamp = parseTrustedComment(check.trustedComment);
  if (!stamp) return {0, "signature invalid (the trusted comment names no timestamp and file)"};
  if (stamp->file != path) return {0, "signed for another file (" + stamp->file + ")"};
  return {stamp->timestamp, ""};
}
