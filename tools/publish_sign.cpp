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
  if (!text) throw KeyError(path + ": cannot read the secret key");
  try {
    parseSecretKey(*text, secret);
  } catch (const KeyError& error) {
    throw KeyError(path + ": " + error.what());
  }
}

void writeKeyPair(const std::string& publicPath, const std::string& secretPath) {
  for (const std::string& path : {publicPath, secretPath})
    if (platform::pathExists(path)) throw std::runtime_error(path + ": exists already; not replaced");
  const KeyFiles files = generateKeyFiles();
  if (!platform::writeNewPrivateFile(secretPath, files.secretFile))
    throw std::runtime_error(secretPath + ": cannot be written");
  if (!platform::writeFileAtomically(publicPath, files.publicFile))
    throw std::runtime_error(publicPath + ": cannot be written");
}
