#pragma once
// Writing into a served tree: every output is made under a temporary name in the unserved
// staging folder ".publishing" and renamed into place, so a served path holds a whole old or
// a whole new output at every moment.
#include <cstddef>
#include <filesystem>
#include <string>
#include <vector>

#include "tools/publish_files.h"
#include "tools/publish_sign.h"

// Removes each path that is a regular file inside the tree, and the folders that leaves
// empty; returns how many went. Reasons for files that stay go to the warnings.
std::size_t removeFiles(const std::filesystem::path& tree, const std::vector<std::string>& paths,
                        std::vector<std::string>& warnings);

// Removes the folders that a removal left empty, up to the tree; never a link.
void removeEmptyFolders(const std::filesystem::path& tree, const std::filesystem::path& removed);

// Owns the staging folder while it lives (clearing what a killed run left). Each method throws
// std::runtime_error when the tree cannot be written.
class TreeWriter {
 public:
  TreeWriter(const std::filesystem::path& tree, int level);
  ~TreeWriter();
  TreeWriter(const TreeWriter&) = delete;
  TreeWriter& operator=(const TreeWriter&) = delete;

  // The file of the new release: linked (or copied) from the live release when that output
  // inflates to the source, compressed otherwise. Returns the source's digest.
  std::string place(const PreparedFile& file);

  void write(const std::string& treePath, const std::string& bytes);

  // A document clients read, followed by its signature when the release is signed. Both are
  // made before either is renamed, so only a moment lies between the two renames.
  void writeDocument(const std::string& treePath, const std::string& bytes, const ReleaseSigner* signer);

  // Removes the files and documents placed so far; for a release that will not be published.
  void removeMade();

  std::size_t compressed = 0;  // files placed by compressing their source

 private:
  std::filesystem::path stage(const std::string& bytes);
  void rename(const std::filesystem::path& temporary, const std::string& treePath);
  std::filesystem::path placeFor(const std::string& treePath) const;
  std::filesystem::path nextTemporary();

  std::filesystem::path tree;
  std::filesystem::path staging;
  int level;
  std::vector<std::string> made;
  unsigned counter = 0;
};
