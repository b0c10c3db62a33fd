#pragma once
// Signing a release: quarnmp-publish keygen, and the signature beside each document that
// clients built with the public key check (the catalogue, the lists, the updater digest).
#include <cstdint>
#include <string>
#include <string_view>

#include "formats/release_key.h"

// The secret key and the time of the release being published.
struct ReleaseSigner {
  const formats::SecretKey& key;
  std::int64_t timestamp;
};

// The signature file of a document served at treePath, its bytes exactly as served.
std::string signatureFor(const ReleaseSigner& signer, std::string_view served, const std::string& treePath);

// Reads a secret key file. Throws formats::KeyError with the file's name for a key that cannot sign.
void readSecretKey(const std::string& path, formats::SecretKey& secret);

// Writes a new key pair; neither file may exist yet. The secret key file is readable by its
// owner only. Throws std::runtime_error when a file exists or cannot be written.
void writeKeyPair(const std::string& publicPath, const std::string& secretPath);
