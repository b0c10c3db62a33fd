#pragma once
// What a build with the mod team's public key demands of the documents it is served: each
// comes with a signature by that key whose trusted comment names the document's path.
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "update/release_key.h"

// The key this build trusts (QUARNMP_PUBLIC_KEY), or nothing: then no document is checked
// and no signature is ever requested.
const std::optional<PublicKey>& builtInPublicKey();

// A fetch under a key: older releases than the one accepted last are refused.
struct ReleaseCheck {
  PublicKey key;
  std::int64_t acceptedRelease = 0;
};

// Where the server keeps a document's signature.
std::string signaturePath(const std::string& path);

// Fetches the signature of baseUrl + path and checks it against the body exactly as served.
// The release time it names, or the reason: "signature missing", "signature invalid (...)"
// or "signed for another file". Connection failures pass through as exceptions.
struct VerifiedDocument {
  std::int64_t timestamp = 0;
  std::string failure;
};
VerifiedDocument verifyServedDocument(const PublicKey& key, const std::string& baseUrl, const std::string& path,
                                      std::string_view served);
