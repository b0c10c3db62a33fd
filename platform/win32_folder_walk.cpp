#include "platform/folder_walk.h"

#include <windows.h>

#include <cwchar>
#include <memory>

#include "platform/win32_path.h"
#include "platform/win32_text.h"

namespace platform {

namespace {

// One folder's search handle, closed on every way out. Wide names throughout: MinGW's
// std::filesystem widens narrow paths through the C locale, not the ANSI code page.
class FolderListing {
 public:
  explicit FolderListing(std::wstring path) : folder(std::move(path)) {
    handle = FindFirstFileExW((folder + L"\\*").c_str(), FindExInfoBasic, &upcoming, FindExSearchNameMatch,
                              nullptr, 0);
    pending = handle != INVALID_HANDLE_VALUE;
  }
  ~FolderListing() {
    if (handle != INVALID_HANDLE_VALUE) FindClose(handle);
  }
  FolderListing(const FolderListing&) = delete;
  FolderListing& operator=(const FolderListing&) = delete;

  bool opened() const { return handle != INVALID_HANDLE_VALUE; }

  // The next entry other than "." and ".."; false at the end.
  bool next(WIN32_FIND_DATAW& entry) {
    while (pending) {
      entry = upcoming;
      pending = FindNextFileW(handle, &upcoming) != 0;
      if (std::wcscmp(entry.cFileName, L".") != 0 && std::wcscmp(entry.cFileName, L"..") != 0) return true;
    }
    return false;
  }

  const std::wstring folder;

 private:
  HANDLE handle = INVALID_HANDLE_VALUE;
  WIN32_FIND_DATAW upcoming{};
  bool pending = false;
};

bool isEnterable(const WIN32_FIND_DATAW& entry) {
  // Junctions and directory links are reparse points; entering them could loop without end.
  return (entry.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0 &&
         (entry.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) == 0;
}

}  // namespace

std::vector<std::string> entryNamesBelow(const std::string& folder) {
  std::vector<std::string> names;
  std::vector<std::unique_ptr<FolderListing>> open;
  open.push_back(std::make_unique<FolderListing>(systemPath(folder)));
  if (!open.back()->opened()) return names;
  WIN32_FIND_DATAW entry{};
  while (!open.empty()) {
    FolderListing& current = *open.back();
    if (!current.next(entry)) {
      open.pop_back();
      continue;
    }
    if (auto name = narrowExactly(entry.cFileName)) names.push_back(*name);
    if (isEnterable(entry)) {
      auto inside = std::make_unique<FolderListing>(current.folder + L"\\" + entry.cFileName);
      if (inside->opened()) open.push_back(std::move(inside));
    }
  }
  return names;
}

}  // namespace platform
