#pragma once
// The server's catalogue: file sets, and the files of each set.
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace formats {

struct CatalogueEntry {
  std::string name;
  std::string description;
  std::string sourcepath;       // server-side folder of the set's files
  std::string destinationpath;  // local folder, relative to the installation root
  std::string url;              // path of the set's file list, relative to the server's base address
  bool isDefault = false;       // published and kept; the program installs the first set
};

struct FileRecord {
  std::string sourcePath;  // sourcepath + "/" + the key percent-encoded: the URL path of the file
  std::string localPath;   // destinationpath + "/" + key: where it lives locally
  std::string hash;        // the published MD5 digest
  std::string refusal = {};  // why the file is never read nor written (an unsafe key); empty for most
};

// A file list as parsed: every key and digest back to back in one text, with a small record
// per file, so a list of a million files costs tens of megabytes instead of a document tree.
struct ListedFiles {
  struct File {
    std::uint32_t start;  // of the key in `text`; the digest follows it
    std::uint32_t keyLength;
    std::uint32_t hashLength;
    bool unsafeKey;  // names a path outside the set's folder
  };
  std::string text;
  std::vector<File> files;  // in ascending byte order of the keys, each key once
};

// The files of one set, or a choice of them (the differing ones). Copies share the parsed
// list, so handing a list to a task or keeping the differing files costs a few bytes a file.
class FileList {
 public:
  FileList() = default;
  FileList(std::shared_ptr<const ListedFiles> listed, const CatalogueEntry& entry);

  std::size_t size() const { return picked ? picked->size() : listed ? listed->files.size() : 0; }
  bool empty() const { return size() == 0; }
  FileRecord operator[](std::size_t index) const;
  std::string localPath(std::size_t index) const;
  // The files at these indices (into this list), in the order given.
  FileList pick(const std::vector<std::uint32_t>& indices) const;
  std::vector<FileRecord> records() const;

  struct Iterator {
    const FileList* list;
    std::size_t index;
    FileRecord operator*() const { return (*list)[index]; }
    Iterator& operator++() { ++index; return *this; }
    bool operator==(const Iterator& other) const = default;
  };
  Iterator begin() const { return {this, 0}; }
  Iterator end() const { return {this, size()}; }

 private:
  const ListedFiles::File& file(std::size_t index) const;
  std::string_view key(const ListedFiles::File& file) const;

  std::shared_ptr<const ListedFiles> listed;
  std::shared_ptr<const std::vector<std::uint32_t>> picked;  // indices into listed->files; all when null
  std::string sourcepath;
  std::string destinationpath;
};

}  // namespace formats
