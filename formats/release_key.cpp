#include "formats/release_key.h"

#include <sodium.h>

#include <algorithm>
#include <cstring>

#include "formats/base64.h"

namespace formats {

namespace {

constexpr std::size_t publicKeySize = 2 + 8 + 32;
// "Ed", kdf, checksum kind, salt, opslimit, memlimit; then id, secret key, checksum.
constexpr std::size_t secretHeaderSize = 2 + 2 + 2 + 32 + 8 + 8;
constexpr std::size_t secretKeySize = secretHeaderSize + 8 + 64 + 32;
constexpr const char* untrustedPrefix = "untrusted comment: ";

// The secret file's bytes; wiped when done.
struct SecretBytes {
  std::uint8_t bytes[secretKeySize] = {};
  ~SecretBytes() { sodium_memzero(bytes, sizeof bytes); }
};

}  // namespace

SecretKey::~SecretKey() { sodium_memzero(key.data(), key.size()); }

void requireSodium() {
  if (sodium_init() < 0) throw std::runtime_error("libsodium cannot be started");
}

std::vector<std::string_view> textLines(std::string_view text) {
  std::vector<std::string_view> lines;
  while (!text.empty()) {
    const std::size_t end = std::min(text.find('\n'), text.size());
    std::string_view line = text.substr(0, end);
    if (line.ends_with('\r')) line.remove_suffix(1);
    lines.push_back(line);
    text.remove_prefix(std::min(end + 1, text.size()));
  }
  return lines;
}

std::string keyIdText(const KeyId& id) {
  static constexpr char hex[] = "0123456789ABCDEF";
  std::string text;
  for (auto byte = id.rbegin(); byte != id.rend(); ++byte) {
    text += hex[*byte >> 4];
    text += hex[*byte & 0x0F];
  }
  return text;
}

std::optional<PublicKey> parsePublicKey(std::string_view text) {
  const std::vector<std::string_view> lines = textLines(text);
  auto keyLine = std::find_if(lines.rbegin(), lines.rend(), [](std::string_view line) { return !line.empty(); });
  std::uint8_t bytes[publicKeySize];
  if (keyLine == lines.rend() || !decodeBase64(*keyLine, bytes, sizeof bytes) || std::memcmp(bytes, "Ed", 2) != 0)
    return std::nullopt;
  PublicKey key;
  std::memcpy(key.id.data(), bytes + 2, key.id.size());
  std::memcpy(key.key.data(), bytes + 10, key.key.size());
  return key;
}

void parseSecretKey(std::string_view text, SecretKey& secret) {
  requireSodium();
  const std::vector<std::string_view> lines = textLines(text);
  SecretBytes file;
  if (lines.size() < 2 || !lines[0].starts_with(untrustedPrefix) || !decodeBase64(lines[1], file.bytes, secretKeySize) ||
      std::memcmp(file.bytes, "Ed", 2) != 0)
    throw KeyError("not a minisign secret key");
  if (file.bytes[2] != 0 || file.bytes[3] != 0)
    throw KeyError("the secret key is encrypted with a password; use one made without (quarnmp-publish keygen, or minisign -G -W)");
  std::memcpy(secret.id.data(), file.bytes + secretHeaderSize, secret.id.size());
  std::memcpy(secret.key.data(), file.bytes + secretHeaderSize + 8, secret.key.size());
  // The key holds its public half; it must be the one its seed gives.
  std::uint8_t publicHalf[crypto_sign_PUBLICKEYBYTES];
  SecretBytes derived;
  crypto_sign_seed_keypair(publicHalf, derived.bytes, secret.key.data());
  if (std::memcmp(publicHalf, secret.key.data() + crypto_sign_SEEDBYTES, sizeof publicHalf) != 0)
    throw KeyError("the secret key is damaged");
}

KeyFiles generateKeyFiles() {
  requireSodium();
  std::uint8_t publicBytes[publicKeySize] = {'E', 'd'};
  SecretBytes secret;
  std::memcpy(secret.bytes, "Ed\0\0B2", 6);  // no key derivation: the key is stored as it is
  std::uint8_t* id = secret.bytes + secretHeaderSize;
  randombytes_buf(id, 8);
  crypto_sign_keypair(publicBytes + 10, id + 8);
  std::memcpy(publicBytes + 2, id, 8);
  KeyId keyId;
  std::memcpy(keyId.data(), id, keyId.size());
  const std::string idText = keyIdText(keyId);
  return {std::string(untrustedPrefix) + "minisign public key " + idText + "\n" + encodeBase64(publicBytes, publicKeySize) + "\n",
          std::string(untrustedPrefix) + "minisign secret key " + idText + "\n" + encodeBase64(secret.bytes, secretKeySize) + "\n"};
}

}  // namespace formats
