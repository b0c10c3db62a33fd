#include "update/kept_download.h"

#include <charconv>
#include <cstdio>
#include <memory>
#include <vector>

namespace update {

namespace {

constexpr std::size_t pieceSize = 256u << 10;
constexpr std::size_t maxValidatorSize = 1024;

struct FileCloser {
  void operator()(std::FILE* file) const { std::fclose(file); }
};

const std::string* field(const http::Response& head, std::string_view name) {
  for (const http::HeaderField& header : head.headerFields)
    if (header.name == name) return &header.value;
  return nullptr;
}

// If-Range takes only a strong entity tag; a date is the next best thing.
std::string validatorOf(const http::Response& head) {
  const std::string* tag = field(head, "etag");
  if (tag && !tag->empty() && !tag->starts_with("W/")) return *tag;
  const std::string* modified = field(head, "last-modified");
  return modified ? *modified : "";
}

std::uint64_t contentLength(const http::Response& head) {
  const std::string* length = field(head, "content-length");
  std::uint64_t value = 0;
  if (length) std::from_chars(length->data(), length->data() + length->size(), value);
  return value;
}

}  // namespace

std::string keptDownloadPath(const std::string& target) { return target + ".quarnmp-partial"; }

KeptDownload::KeptDownload(const std::string& target, std::uint64_t keepFrom)
    : keptPath(keptDownloadPath(target)), copyPath(keptPath + ".new"), keepFrom(keepFrom) {
  platform::removeFile(copyPath);  // left by a run that was killed; this run holds the installation's lock
}

std::uint64_t KeptDownload::resume(const std::function<void(std::string_view)>& pieces) {
  copy.reset();
  copied = 0;
  validatorText.clear();
  const std::unique_ptr<std::FILE, FileCloser> kept(platform::openForReading(keptPath));
  if (!kept) return 0;
  std::vector<char> piece(pieceSize);
  if (!std::fgets(piece.data(), maxValidatorSize, kept.get())) return 0;
  const std::string line = piece.data();
  if (line.size() < 2 || line.back() != '\n') return 0;
  validatorText = line.substr(0, line.size() - 1);
  copy.emplace(copyPath, platform::NewFile::Use::Scratch);
  if (!copy->isOpen() || !copy->write(line)) return 0;
  for (std::size_t got = piece.size(); got == piece.size();) {
    got = std::fread(piece.data(), 1, piece.size(), kept.get());
    add(std::string_view(piece.data(), got));
    pieces(std::string_view(piece.data(), got));
  }
  return std::ferror(kept.get()) ? 0 : copied;
}

bool KeptDownload::continues(const http::Response& head) const {
  const std::string named = validatorOf(head);
  return named.empty() || named == validatorText;
}

void KeptDownload::begin(const http::Response& head) {
  copy.reset();
  copied = 0;
  validatorText = validatorOf(head);
  if (validatorText.empty() || validatorText.size() >= maxValidatorSize || contentLength(head) < keepFrom) return;
  copy.emplace(copyPath, platform::NewFile::Use::Scratch);
  if (!copy->write(validatorText + "\n")) copy.reset();
}

void KeptDownload::add(std::string_view bytes) {
  if (copy && !copy->write(bytes)) copy.reset();
  copied += bytes.size();
}

void KeptDownload::keep() {
  if (copy && copied >= keepFrom && copy->replace(keptPath)) return;
  discard();
}

void KeptDownload::discard() {
  copy.reset();
  platform::removeFile(keptPath);
}

}  // namespace update
