#include "platform/files.h"

#include <windows.h>
#include <sys/stat.h>

#include <atomic>
#include <fstream>
#include <iterator>
#include <utility>

#include "platform/win32_text.h"

namespace platform {

std::string nativePath(std::string_view path) { return std::string(path); }

bool pathExists(const std::string& path) {
  return GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

std::optional<std::int64_t> modificationTime(const std::string& path) {
  struct _stat64i32 info {};
  if (_stat64i32(path.c_str(), &info) != 0) return std::nullopt;
  return static_cast<std::int64_t>(info.st_mtime);
}

bool createDirectory(const std::string& path) { return CreateDirectoryA(path.c_str(), nullptr) != 0; }

bool moveFileReplacing(const std::string& from, const std::string& to) {
  return MoveFileExW(widen(from).c_str(), widen(to).c_str(),
                     MOVEFILE_REPLACE_EXISTING | MOVEFILE_COPY_ALLOWED) != 0;
}

namespace {

// Not every file system refuses to rename over a read-only file (Wine's does not): replacing
// asks first.
bool isReadOnly(const std::string& path) {
  const DWORD attributes = GetFileAttributesA(path.c_str());
  return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_READONLY) != 0;
}

}  // namespace

bool writeFileAtomically(const std::string& path, std::string_view bytes) {
  if (isReadOnly(path)) return false;
  static std::atomic<unsigned> counter{0};
  const std::string temporary =
      path + ".tmp" + std::to_string(GetCurrentProcessId()) + "_" + std::to_string(counter++);
  HANDLE file = CreateFileA(temporary.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                            FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) return false;
  bool ok = true;
  while (ok && !bytes.empty()) {
    DWORD chunk = bytes.size() > 0x40000000u ? 0x40000000u : static_cast<DWORD>(bytes.size());
    DWORD written = 0;
    ok = WriteFile(file, bytes.data(), chunk, &written, nullptr) && written > 0;
    bytes.remove_prefix(written);
  }
  ok = CloseHandle(file) && ok;
  ok = ok && MoveFileExA(temporary.c_str(), path.c_str(), MOVEFILE_REPLACE_EXISTING);
  if (!ok) DeleteFileA(temporary.c_str());
  return ok;
}

bool isRegularFile(const std::string& path) {
  const DWORD attributes = GetFileAttributesA(path.c_str());
  return attributes != INVALID_FILE_ATTRIBUTES &&
         (attributes & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_DEVICE)) == 0;
}

std::optional<std::string> readWholeFile(const std::string& path) {
  if (!isRegularFile(path)) return std::nullopt;
  std::ifstream in(path, std::ios::binary);
  if (!in) return std::nullopt;
  std::string content((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  if (in.bad()) return std::nullopt;
  return content;
}

bool removeFile(const std::string& path) { return DeleteFileA(path.c_str()) != 0; }

namespace {

HANDLE handleOf(std::intptr_t handle) { return reinterpret_cast<HANDLE>(handle); }

}  // namespace

NewFile::NewFile(std::string filePath)
    : path(std::move(filePath)),
      handle(reinterpret_cast<std::intptr_t>(CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                                                         FILE_ATTRIBUTE_NORMAL, nullptr))) {}

NewFile::~NewFile() {
  if (isOpen()) CloseHandle(handleOf(handle));
  if (!replaced) DeleteFileA(path.c_str());
}

bool NewFile::isOpen() const { return handleOf(handle) != INVALID_HANDLE_VALUE; }

bool NewFile::write(std::string_view bytes) {
  while (isOpen() && !bytes.empty()) {
    const DWORD chunk = bytes.size() > 0x40000000u ? 0x40000000u : static_cast<DWORD>(bytes.size());
    DWORD written = 0;
    if (!WriteFile(handleOf(handle), bytes.data(), chunk, &written, nullptr) || written == 0) return false;
    bytes.remove_prefix(written);
  }
  return isOpen();
}

bool NewFile::replace(const std::string& target) {
  if (!isOpen()) return false;
  const HANDLE file = handleOf(std::exchange(handle, reinterpret_cast<std::intptr_t>(INVALID_HANDLE_VALUE)));
  bool ok = FlushFileBuffers(file) != 0;
  ok = CloseHandle(file) && ok;
  // The replaced file's attributes other than read-only stay with the name.
  replaced = ok && !isReadOnly(target) && MoveFileExA(path.c_str(), target.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH);
  return replaced;
}

void flushWrittenFiles(const std::string&) {}

bool writeNewPrivateFile(const std::string& path, std::string_view bytes) {
  HANDLE file = CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) return false;
  DWORD written = 0;
  bool ok = bytes.size() <= 0x40000000u &&
            WriteFile(file, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr) && written == bytes.size();
  ok = CloseHandle(file) && ok;
  if (!ok) DeleteFileA(path.c_str());
  return ok;
}

// Opened without sharing: nobody else can open the file while the handle lives.
FileLock::FileLock(const std::string& path)
    : handle(reinterpret_cast<std::intptr_t>(
          CreateFileA(path.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr))) {}

FileLock::~FileLock() {
  if (held()) CloseHandle(handleOf(handle));
}

bool FileLock::held() const { return handleOf(handle) != INVALID_HANDLE_VALUE; }

bool isReadOnlyFile(const std::string& path) { return isReadOnly(path); }

}  // namespace platform
