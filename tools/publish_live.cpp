#include "tools/publish_live.h"

#include <algorithm>
#include <ctime>
#include <exception>
#include <fstream>

#include "tools/publish_validate.h"
#include "formats/catalogue_json.h"
#include "formats/inflate.h"
#include "formats/release_signature.h"
#include "formats/release_timestamp.h"
#include "formats/release_trust.h"

using formats::CatalogueEntry;
using formats::PublicKey;
using formats::SecretKey;
using formats::SignatureCheck;
using formats::catalogueFromText;
using formats::checkSignature;
using formats::parseTrustedComment;
using formats::signaturePath;
using formats::CorruptStream;
using formats::Inflater;

namespace {

namespace fs = std::filesystem;

// The bounds clients apply to a catalogue and a signature file.
constexpr std::uintmax_t documentCeiling = 64u << 20;
constexpr std::uintmax_t signatureCeiling = 64u << 10;

// The file's bytes when it is a regular file of at most `ceiling` bytes.
std::optional<std::string> readBounded(const fs::path& path, std::uintmax_t ceiling) {
  std::error_code error;
  if (!fs::is_regular_file(fs::symlink_status(path, error)) || fs::file_size(path, error) > ceiling || error)
    return std::nullopt;
  std::ifstream in(path, std::ios::binary);
  std::string bytes(static_cast<std::size_t>(fs::file_size(path, error)), '\0');
  if (!in.read(bytes.data(), static_cast<std::streamsize>(bytes.size()))) return std::nullopt;
  return bytes;
}

std::vector<CatalogueEntry> catalogueOf(const std::string& served) {
  std::string text;
  Inflater inflater(documentCeiling);
  inflater.feed(served, [&](std::string_view bytes) { text.append(bytes); });
  if (!inflater.ended()) throw CorruptStream("cut off");
  return catalogueFromText(text);
}

// The release time the catalogue's signature names, or why it names none.
std::optional<std::int64_t> signedTimeOf(const fs::path& tree, const std::string& served, const SecretKey& secret,
                                         std::string& failure) {
  PublicKey key;
  key.id = secret.id;
  std::copy(secret.key.begin() + 32, secret.key.end(), key.key.begin());
  const auto signature = readBounded(tree / signaturePath(catalogueTreePath), signatureCeiling);
  if (!signature) {
    failure = "signature missing";
    return std::nullopt;
  }
  const SignatureCheck check = checkSignature(key, *signature, served);
  const auto stamp = parseTrustedComment(check.trustedComment);
  failure = !check.failure.empty()                        ? check.failure
            : !stamp || stamp->file != catalogueTreePath ? "not signed for json"
                                                         : "";
  if (!failure.empty()) return std::nullopt;
  return stamp->timestamp;
}

}  // namespace

LiveRelease readLiveRelease(const fs::path& tree, const SecretKey* key, std::vector<std::string>& warnings) {
  LiveRelease live;
  std::error_code error;
  if (!fs::exists(fs::symlink_status(tree / catalogueTreePath, error))) return live;
  const auto served = readBounded(tree / catalogueTreePath, documentCeiling);
  try {
    if (served) live.catalogue = catalogueOf(*served);
  } catch (const std::exception&) {
    // Only reuse is lost: every file is compressed again.
  }
  if (!key) return live;
  std::string failure = "cannot be read";
  if (served) live.signedTime = signedTimeOf(tree, *served, *key, failure);
  if (!live.signedTime)
    warnings.push_back(std::string(catalogueTreePath) +
                       ": the release the tree serves has no valid signature by this key (" + failure +
                       "); the new one takes its time from the clock alone");
  return live;
}

std::int64_t nextReleaseTime(std::int64_t clock, const LiveRelease& live, std::vector<std::string>& warnings) {
  if (!live.signedTime || clock > *live.signedTime) return clock;
  const std::int64_t time = *live.signedTime + 1;
  if (*live.signedTime - clock > 60)
    warnings.push_back("the clock (" + utcText(clock) + ") is behind the release the tree serves (" +
                       utcText(*live.signedTime) + "); this one is signed as " + utcText(time) +
                       ", as players would refuse an older one: set the clock right");
  return time;
}

std::string utcText(std::int64_t time) {
  const std::time_t seconds = static_cast<std::time_t>(time);
  const std::tm* parts = std::gmtime(&seconds);  // the publisher runs one thread
  char text[64] = "";
  if (parts == nullptr || std::strftime(text, sizeof text, "%Y-%m-%d %H:%M:%S UTC", parts) == 0)
    return std::to_string(time);
  return text;
}
