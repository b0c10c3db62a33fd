#include "tests/support/temp_folder.h"

#include <cstdlib>
#include <fstream>
#include <iterator>
#include <stdexcept>

namespace testing_support {

namespace fs = std::filesystem;

TempFolder::TempFolder() {
  std::string pattern = (fs::temp_directory_path() / "quarnmp-test-XXXXXX").string();
  if (mkdtemp(pattern.data()) == nullptr) throw std::runtime_error("mkdtemp failed");
  root = pattern;
}

TempFolder::~TempFolder() {
  std::error_code ignored;
  // Tests may take permissions away; give them back so everything can be removed.
  for (auto it = fs::recursive_directory_iterator(root, ignored); it != fs::recursive_directory_iterator();
       it.increment(ignored))
    fs::permissions(it->path(), fs::perms::owner_all, fs::perm_options::add, ignored);
  fs::remove_all(root, ignored);
}

void writeFile(const fs::path& path, const std::string& content) {
  if (path.has_parent_path()) fs::create_directories(path.parent_path());
  std::ofstream(path, std::ios::binary | std::ios::trunc) << content;
}

std::string readFile(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  return in ? std::string(std::istreambuf_iterator<char>(in), {}) : "<missing>";
}

void makeInstallation(const fs::path& root, TestLayout layout) {
  const bool rusk = layout == TestLayout::Rusk;
  fs::create_directories(root / (rusk ? "base/bin" : "Data/base/bin"));
  fs::create_directories(root / (rusk ? "extra1" : "DataOP"));
}

}  // namespace testing_support
