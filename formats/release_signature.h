#pragma once
// Signature files in the form the standard `minisign` tool writes and reads:
//
//   untrusted comment: <anything>
//   base64("ED" || key id (8) || Ed25519 signature of the BLAKE2b-512 of the document)
//   trusted comment: <text>
//   base64(Ed25519 signature of (the signature above || the trusted comment's text))
//
// The trusted comment is signed too, so what it says (the release time, the file's path)
// can be believed once both signatures hold.
#include <string>
#include <string_view>

#include "formats/release_key.h"

namespace formats {

// The signature file for the document, with the trusted comment given.
std::string signDocument(const SecretKey& secret, std::string_view document, std::string_view trustedComment);

// The trusted comment of a signature file that signs the document with the key, or the
// reason why it does not: "signature invalid", with what was wrong in parentheses.
struct SignatureCheck {
  std::string trustedComment;
  std::string failure;  // empty when the signature holds
};
SignatureCheck checkSignature(const PublicKey& key, std::string_view signatureFile, std::string_view document);

}  // namespace formats
