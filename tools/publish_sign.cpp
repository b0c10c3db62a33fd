#include "tools/publish_sign.h"

#include "platform/files.h"
#include "formats/release_signature.h"
#include "formats/release_timestamp.h"

using formats::KeyError;
using formats::KeyFiles;
using formats::SecretKey;
using formats::generateKeyFiles;
using formats::parseSecretKey;
using formats::signDocument;
using formats::trustedCommentFor;

std::string signatureFor(const ReleaseSigner& signer, std::string_view served, const std::string& treePath) {
  return signDocument(signer.key, served, trustedCommentFor({signer.timestamp, treePath}));
}

void readSecretKey(const std::string& path, SecretKey& secret) {
  const auto text = platform::readWholeFile(path);
  if (!text) throw KeyError(path + ": cannot read the secret key: " + text.failure);
  try {
    parseSecretKey(*text, secret);
  } catch (const KeyError& error) {
    throw KeyError(path + ": " + error.what());
  }
}

void writeKeyPair(const std::string& publicPath, const std::string& secretPath) {
  for (const std::string& path : {publicPath, secretPath})
    if (const platform::PathExistence existing = platform::pathExists(path); existing || existing.failure)
      throw std::runtime_error(path + ": " + existing.failure.value_or("exists already") + "; not replaced");
  const KeyFiles files = generateKeyFiles();
  if (const platform::FileResult written = platform::writeNewPrivateFile(secretPath, files.secretFile); !written)
    throw std::runtime_error(secretPath + ": cannot be written: " + *written.failure);
  if (const platform::FileResult written = platform::writeFileAtomically(publicPath, files.publicFile); !written)
    throw std::runtime_error(publicPath + ": cannot be written: " + *written.failure);
}
