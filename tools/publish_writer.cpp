#include "tools/publish_writer.h"

#include <stdexcept>

#include "platform/files.h"
#include "tools/publish_compress.h"
#include "tools/publish_validate.h"
#include "formats/release_trust.h"

using formats::nextSignaturePath;
using formats::signaturePath;

namespace fs = std::filesystem;

std::size_t removeFiles(const fs::path& tree, const std::vector<std::string>& paths,
                        std::vector<std::string>& warnings) {
  std::size_t removed = 0;
  for (const std::string& treePath : paths) {
    std::error_code error;
    if (regularFileInTree(tree, treePath) && fs::remove(tree / treePath, error)) {
      ++removed;
      removeEmptyFolders(tree, tree / treePath);
    } else if (error) {
      warnings.push_back(treePath + ": not removed, " + error.message());
    }
  }
  return removed;
}

void removeEmptyFolders(const fs::path& tree, const fs::path& removed) {
  std::error_code error;
  for (fs::path folder = removed.parent_path();
       liesWithin(folder, tree) && !fs::equivalent(folder, tree, error) && !error &&
       fs::is_directory(fs::symlink_status(folder, error)) && fs::remove(folder, error);
       folder = folder.parent_path()) {
  }
}

TreeWriter::TreeWriter(const fs::path& tree, int level) : tree(tree), staging(tree / ".publishing"), level(level) {
  fs::remove_all(staging);
  fs::create_directories(staging);
}

TreeWriter::~TreeWriter() {
  std::error_code ignored;
  fs::remove_all(staging, ignored);
}

std::string TreeWriter::place(const PreparedFile& file) {
  const fs::path target = placeFor(file.output), temporary = nextTemporary();
  made.push_back(file.output);
  std::error_code error;
  if (!file.candidate.empty()) {
    fs::create_hard_link(tree / file.candidate, temporary, error);
    if (error) fs::copy_file(tree / file.candidate, temporary, error);
    // Checked once staged, so a candidate swapped after its first check is never served.
    if (!error && inflatesToSource(temporary, file) && platform::moveFileReplacing(temporary.string(), target.string()))
      return file.digest;
    fs::remove(temporary, error);
  }
  const auto digest = compressFile(file.file->source, target, temporary, level);
  if (!digest) throw std::runtime_error("cannot compress " + file.file->source.string() + " to " + target.string());
  ++compressed;
  return *digest;
}

void TreeWriter::write(const std::string& treePath, const std::string& bytes) { rename(stage(bytes), treePath); }

void TreeWriter::writeDocument(const std::string& treePath, const std::string& bytes, const ReleaseSigner* signer) {
  made.push_back(treePath);
  if (!signer) return write(treePath, bytes);
  made.push_back(signaturePath(treePath));
  const std::string signatureText = signatureFor(*signer, bytes, treePath);
  // Whoever reads a document replaced in place just after it and its signature just before
  // (or finds a run killed between the two) finds the new signature at its next place too.
  if (replacedInPlace(treePath)) {
    made.push_back(nextSignaturePath(treePath));
    rename(stage(signatureText), nextSignaturePath(treePath));
  }
  const fs::path document = stage(bytes), signature = stage(signatureText);
  rename(document, treePath);
  rename(signature, signaturePath(treePath));
}

void TreeWriter::removeMade() {
  std::vector<std::string> ignored;
  removeFiles(tree, made, ignored);
}

fs::path TreeWriter::stage(const std::string& bytes) {
  const fs::path temporary = nextTemporary();
  if (!platform::writeFileAtomically(temporary.string(), bytes))
    throw std::runtime_error("cannot write " + temporary.string());
  return temporary;
}

void TreeWriter::rename(const fs::path& temporary, const std::string& treePath) {
  const fs::path target = placeFor(treePath);
  if (!platform::moveFileReplacing(temporary.string(), target.string()))
    throw std::runtime_error("cannot write " + target.string());
}

fs::path TreeWriter::placeFor(const std::string& treePath) const {
  const fs::path target = tree / treePath;
  fs::create_directories(target.parent_path());
  return target;
}

fs::path TreeWriter::nextTemporary() { return staging / std::to_string(counter++); }
