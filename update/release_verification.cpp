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
  // A signature file is a few hundred bytes; its trusted comment names one path.
  const Downloaded<std::string> signature = downloadAsServed(serverUrl(baseUrl, signaturePath(path)), 64 * 1024);
  if (!signature.ok()) return {0, "signature missing (" + signature.failure + ")"};
  const SignatureCheck check = checkSignature(key, signature.content, served);
  if (!check.failure.empty()) return {0, check.failure};
  const auto stamp = parseTrustedComment(check.trustedComment);
  if (!stamp) return {0, "signature invalid (the trusted comment names no timestamp and file)"};
  if (stamp->file != path) return {0, "signed for another file (" + stamp->file + ")"};
  return {stamp->timestamp, ""};
}
