#pragma once
// The mod team's Ed25519 key pair, in the files the standard `minisign` tool reads and
// writes, so a team may make and use its keys with either tool.
//
// Public key line:  base64("Ed" || key id (8) || public key (32))
// Secret key line:  base64("Ed" || kdf "\0\0" || "B2" || salt (32) || opslimit (8) ||
//                          memlimit (8) || key id (8) || secret key (64) || checksum (32))
// Each file has an "untrusted comment: ..." line before its key line. Only unencrypted
// secret keys (kdf zero, as `minisign -G -W` writes them) are used.
#include <array>
#include <cstdint>
#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

namespace formats {

using KeyId = std::array<std::uint8_t, 8>;

struct PublicKey {
  KeyId id{};
  std::array<std::uint8_t, 32> key{};
};

// The secret half; its bytes are wiped when it goes.
class SecretKey {
 public:
  SecretKey() = default;
  ~SecretKey();
  SecretKey(const SecretKey&) = delete;
  SecretKey& operator=(const SecretKey&) = delete;

  KeyId id{};
  std::array<std::uint8_t, 64> key{};  // libsodium's form: seed || public key
};

// A key that cannot be used, with the reason.
class KeyError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// The key line, or a whole public key file (its last key line counts). Nothing for
// anything else.
std::optional<PublicKey> parsePublicKey(std::string_view text);

// A secret key file's text. Throws KeyError for a malformed or encrypted key, or one whose
// halves do not belong together.
void parseSecretKey(std::string_view text, SecretKey& secret);

// A new key pair as the texts of its two files.
struct KeyFiles {
  std::string publicFile;
  std::string secretFile;
};
KeyFiles generateKeyFiles();

// Helpers shared with the signature files.
// The lines of a key or signature file, without their line ends ("\n" or "\r\n").
std::vector<std::string_view> textLines(std::string_view text);
// The key id as minisign shows it in comments: 16 upper-case hex digits, last byte first.
std::string keyIdText(const KeyId& id);
// Starts libsodium once; throws std::runtime_error when it cannot.
void requireSodium();

}  // namespace formats
