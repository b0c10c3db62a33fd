#include "update/release_verification.h"

#include <stdexcept>

#include "update/download.h"
#include "update/release_signature.h"
#include "update/release_timestamp.h"

namespace {

// A signature file is a few hundred bytes; its trusted comment names one path.
constexpr std::size_t signatureLimit = 64 * 1024;
constexpr const char* unusableKey =
    "the public key built into this updater is not a minisign key line; it accepts no release";

}  // namespace

TrustedKey trustedKeyFrom(std::string_view keyLine) {
  if (keyLine.empty()) return {};
  std::optional<PublicKey> key = parsePublicKey(keyLine);
  if (!key) return {std::nullopt, unusableKey};
  return {key, ""};
}

const TrustedKey& builtInKey() {
  // Never destroyed: detached digest requests may still read it while the process ends.
  static const auto* key = new TrustedKey(trustedKeyFrom(builtInKeyLine));
  return *key;
}

std::optional<ReleaseCheck> releaseCheckFor(const TrustedKey& trusted, const std::string& folder) {
  if (!trusted.unusable.empty()) throw std::runtime_error(trusted.unusable);
  if (!trusted.key) return std::nullopt;
  return ReleaseCheck{*trusted.key, readAcceptedRelease(folder)};
}

std::string signaturePath(const std::string& path) { return path + ".minisig"; }

std::string nextSignaturePath(const std::string& path) { return path + ".next.minisig"; }

namespace {

// The next release's signature, for a document that its own signature does not match; the
// first failure stands when there is none or it does not match either.
SignatureCheck checkNextSignature(const PublicKey& key, const std::string& url, std::string_view served,
                                  SignatureCheck failed) {
  const Downloaded<std::string> next = downloadAsServed(url, signatureLimit);
  if (!next.ok()) return failed;
  SignatureCheck check = checkSignature(key, next.content, served);
  return check.failure.empty() ? check : failed;
}

}  // namespace

VerifiedDocument verifyServedDocument(const PublicKey& key, const std::string& baseUrl, const std::string& path,
                                      std::string_view served) {
  const Downloaded<std::string> signature = downloadAsServed(serverUrl(baseUrl, signaturePath(path)), signatureLimit);
  if (signature.failure == bodyTooLargeFailure(signatureLimit)) return {0, "signature too large (over 64 KiB)"};
  if (!signature.ok()) return {0, "signature missing (" + signature.failure + ")"};
  SignatureCheck check = checkSignature(key, signature.content, served);
  if (check.failure.ends_with("(the document is not the one signed)"))
    check = checkNextSignature(key, serverUrl(baseUrl, nextSignaturePath(path)), served, std::move(check));
  if (!check.failure.empty()) return {0, check.failure};
  const auto stamp = parseTrustedComment(check.trustedComment);
  if (!stamp) return {0, "signature invalid (the trusted comment names no timestamp and file)"};
  if (stamp->file != path) return {0, "signed for another file (" + stamp->file + ")"};
  return {stamp->timestamp, ""};
}
