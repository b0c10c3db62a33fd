#include "formats/release_trust.h"

#include <stdexcept>

#include "formats/release_timestamp.h"

namespace formats {

namespace {

constexpr const char* unusableKey =
    "the public key built into this updater is not a minisign key line; it accepts no release";

}  // namespace

TrustedKey trustedKeyFrom(std::string_view keyLine) {
  if (keyLine.empty()) return {};
  std::optional<PublicKey> key = parsePublicKey(keyLine);
  if (!key) return {std::nullopt, unusableKey};
  return {key, ""};
}

std::optional<ReleaseCheck> releaseCheckFor(const TrustedKey& trusted, const std::string& folder) {
  if (!trusted.unusable.empty()) throw std::runtime_error(trusted.unusable);
  if (!trusted.key) return std::nullopt;
  return ReleaseCheck{*trusted.key, readAcceptedRelease(folder)};
}

std::string signaturePath(const std::string& path) { return path + ".minisig"; }

std::string nextSignaturePath(const std::string& path) { return path + ".next.minisig"; }

}  // namespace formats
