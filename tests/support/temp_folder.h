#pragma once
// A fresh folder below the system's temporary folder, removed with everything in it.
#include <filesystem>
#include <string>

namespace testing_support {

class TempFolder {
 public:
  TempFolder();
  ~TempFolder();
  TempFolder(const TempFolder&) = delete;
  TempFolder& operator=(const TempFolder&) = delete;

  const std::filesystem::path& path() const { return root; }
  std::filesystem::path operator/(const std::string& relative) const { return root / relative; }
  // The path ending in a separator: an installation root as the update engine takes it.
  std::string prefix() const { return root.string() + "/"; }

 private:
  std::filesystem::path root;
};

// A fresh temporary folder that is the working directory while the object lives.
class WorkingFolder : public TempFolder {
 public:
  WorkingFolder() { std::filesystem::current_path(path()); }
  ~WorkingFolder() { std::filesystem::current_path(previous); }

 private:
  std::filesystem::path previous = std::filesystem::current_path();
};

// Writes a file, creating its folders.
void writeFile(const std::filesystem::path& path, const std::string& content);
// The whole file, or "<missing>" when it cannot be read.
std::string readFile(const std::filesystem::path& path);

// Makes a folder pass the installation check: "base" (Rusk layout) or "Data" and "DataOP" (Tovan).
enum class TestLayout { Rusk, Tovan };
void makeInstallation(const std::filesystem::path& root, TestLayout layout);

}  // namespace testing_support
