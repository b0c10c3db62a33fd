#pragma once
// The documents a build with the mod team's public key is served must pass their signatures
// (formats/release_trust.h) before anything reads them.
#include <cstdint>
#include <string>
#include <string_view>

#include "formats/release_trust.h"
#include "update/failure.h"

namespace update {

// The key line this build was configured with (QUARNMP_PUBLIC_KEY), "" for none; defined in
// the source file that CMake generates from built_in_key.cpp.in.
extern const char builtInKeyLine[];

const formats::TrustedKey& builtInKey();

// Fetches the signature of baseUrl + path and checks it against the body exactly as served.
// The release time it names, or the failure: "signature missing", "signature too large",
// "signature invalid (...)" or "signed for another file". Connection failures pass through
// as exceptions.
Result<std::int64_t> verifyServedDocument(const formats::PublicKey& key, const std::string& baseUrl,
                                      const std::string& path, std::string_view served);

}  // namespace update
