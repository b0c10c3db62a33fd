#pragma once
// The server's catalogue: file sets, and the files of each set.
#include <string>
#include <vector>

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
};
