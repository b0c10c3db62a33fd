#include "formats/release_signature.h"

#include <sodium.h>

#include <algorithm>
#include <cstring>
#include <vector>

#include "formats/base64.h"

namespace formats {

namespace {

constexpr std::size_t signatureSize = crypto_sign_BYTES;
constexpr std::size_t signatureLineSize = 2 + 8 + signatureSize;
constexpr std::string_view untrustedPrefix = "untrusted comment: ";
constexpr std::string_view trustedPrefix = "trusted comment: ";

using Prehash = std::array<std::uint8_t, crypto_generichash_BYTES_MAX>;

Prehash blake2b512(std::string_view document) {
  Prehash digest;
  crypto_generichash(digest.data(), digest.size(), reinterpret_cast<const std::uint8_t*>(document.data()),
                     document.size(), nullptr, 0);
  return digest;
}

// What the global signature covers: the document's signature, then the trusted comment.
std::vector<std::uint8_t> globalMessage(const std::uint8_t* signature, std::string_view trustedComment) {
  std::vector<std::uint8_t> message(signatureSize + trustedComment.size());
  std::copy(signature, signature + signatureSize, message.begin());
  std::copy(trustedComment.begin(), trustedComment.end(), message.begin() + signatureSize);
  return message;
}

SignatureCheck invalid(const char* why) { return {"", std::string("signature invalid (") + why + ")"}; }

}  // namespace

std::string signDocument(const SecretKey& secret, std::string_view document, std::string_view trustedComment) {
  requireSodium();
  std::uint8_t line[signatureLineSize] = {'E', 'D'};
  std::memcpy(line + 2, secret.id.data(), secret.id.size());
  const Prehash digest = blake2b512(document);
  crypto_sign_detached(line + 10, nullptr, digest.data(), digest.size(), secret.key.data());
  const std::vector<std::uint8_t> message = globalMessage(line + 10, trustedComment);
  std::uint8_t global[signatureSize];
  crypto_sign_detached(global, nullptr, message.data(), message.size(), secret.key.data());
  return std::string(untrustedPrefix) + "signature from minisign secret key\n" + encodeBase64(line, sizeof line) + "\n" +
         std::string(trustedPrefix) + std::string(trustedComment) + "\n" + encodeBase64(global, sizeof global) + "\n";
}

SignatureCheck checkSignature(const PublicKey& key, std::string_view signatureFile, std::string_view document) {
  requireSodium();
  const std::vector<std::string_view> lines = textLines(signatureFile);
  std::uint8_t line[signatureLineSize];
  std::uint8_t global[signatureSize];
  if (lines.size() < 4 || !lines[0].starts_with(untrustedPrefix) || !decodeBase64(lines[1], line, sizeof line) ||
      !lines[2].starts_with(trustedPrefix) || !decodeBase64(lines[3], global, sizeof global))
    return invalid("not a signature file");
  // "Ed" would sign the document itself rather than its digest; minisign makes "ED".
  if (std::memcmp(line, "ED", 2) != 0) return invalid("not a signature of the document's BLAKE2b-512 digest");
  if (std::memcmp(line + 2, key.id.data(), key.id.size()) != 0) {
    KeyId other;
    std::memcpy(other.data(), line + 2, other.size());
    return invalid(("made with key " + keyIdText(other) + ", not " + keyIdText(key.id)).c_str());
  }
  const Prehash digest = blake2b512(document);
  if (crypto_sign_verify_detached(line + 10, digest.data(), digest.size(), key.key.data()) != 0)
    return invalid("the document is not the one signed");
  const std::string_view trustedComment = lines[2].substr(trustedPrefix.size());
  const std::vector<std::uint8_t> message = globalMessage(line + 10, trustedComment);
  if (crypto_sign_verify_detached(global, message.data(), message.size(), key.key.data()) != 0)
    return invalid("the trusted comment is not the one signed");
  return {std::string(trustedComment), ""};
}

}  // namespace formats
