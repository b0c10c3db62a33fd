#pragma once
// What a build with the mod team's public key demands of the documents it is served: each
// comes with a signature by that key, kept beside it, whose trusted comment names the
// document's path.
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "formats/release_key.h"

namespace formats {

// What a build trusts: no key (no document is checked and no signature is ever requested),
// a key, or a key that was configured but cannot be used, which accepts nothing.
struct TrustedKey {
  std::optional<PublicKey> key;
  std::string unusable;  // why the configured key cannot be used; empty otherwise
};
TrustedKey trustedKeyFrom(std::string_view keyLine);

// A fetch under a key: older releases than the one accepted last are refused.
struct ReleaseCheck {
  PublicKey key;
  std::uint64_t acceptedRelease = 0;
};

// The check for a fetch into the installation in `folder`: nothing without a key. Throws
// std::runtime_error with the reason when the key cannot be used or the record of the
// accepted release (release_timestamp.h) cannot be read.
std::optional<ReleaseCheck> releaseCheckFor(const TrustedKey& trusted, const std::string& folder);

// Where the server keeps a document's signature.
std::string signaturePath(const std::string& path);
// Where the publisher puts the next release's signature of a document it replaces in place
// (the catalogue, the updater digest) just before it renames the document and its signature:
// a publish stopped between those two renames leaves the new document with the old signature,
// and the new signature here.
std::string nextSignaturePath(const std::string& path);

}  // namespace formats
