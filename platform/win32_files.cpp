#include "platform/files.h"

#include <windows.h>

#include <atomic>
#include <memory>
#include <utility>

#include "platform/win32_path.h"
#include "platform/win32_text.h"

namespace platform {

std::string nativePath(std::string_view path) { return std::string(path); }

namespace {

DWORD attributesOf(const std::wstring& path) { return GetFileAttributesW(path.c_str()); }

// Not every file system refuses to rename over a read-only file (Wine's does not): replacing
// asks first.
bool isReadOnly(const std::wstring& path) {
  const DWORD attributes = attributesOf(path);
  return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_READONLY) != 0;
}

HANDLE handleOf(std::intptr_t handle) { return reinterpret_cast<HANDLE>(handle); }

// The system's text for the error ("There is not enough space on the disk."), read before any
// clean-up can change it.
FileResult failedWith(DWORD error) {
  wchar_t* text = nullptr;
  const DWORD length = FormatMessageW(FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM |
                                          FORMAT_MESSAGE_IGNORE_INSERTS, nullptr, error, 0,
                                      reinterpret_cast<wchar_t*>(&text), 0, nullptr);
  std::wstring message = length > 0 ? std::wstring(text, length) : L"error " + std::to_wstring(error);
  LocalFree(text);
  while (!message.empty() && (message.back() == L'\n' || message.back() == L'\r')) message.pop_back();
  return {utf8Of(message)};
}
FileResult lastFailure() { return failedWith(GetLastError()); }
FileResult succeeded(bool ok) { return ok ? FileResult{} : lastFailure(); }

HANDLE createNew(const std::string& path) {
  return CreateFileW(systemPath(path).c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr);
}

FileResult writeAll(HANDLE file, std::string_view bytes) {
  while (!bytes.empty()) {
    const DWORD chunk = bytes.size() > 0x40000000u ? 0x40000000u : static_cast<DWORD>(bytes.size());
    DWORD written = 0;
    if (!WriteFile(file, bytes.data(), chunk, &written, nullptr)) return lastFailure();
    if (written == 0) return failedWith(ERROR_DISK_FULL);
    bytes.remove_prefix(written);
  }
  return {};
}

// ReplaceFileW keeps the target's attributes, security and creation time with its name, where
// MoveFileExW would give it the new file's. The attributes are also set on the new file first:
// not every ReplaceFileW carries them (Wine's does not).
FileResult putInPlace(const std::wstring& from, const std::wstring& to, DWORD moveFlags) {
  const DWORD target = attributesOf(to);
  if (target != INVALID_FILE_ATTRIBUTES) {
    constexpr DWORD kept = FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM | FILE_ATTRIBUTE_NOT_CONTENT_INDEXED;
    if ((target & kept) != 0) SetFileAttributesW(from.c_str(), target & kept);
    if (ReplaceFileW(to.c_str(), from.c_str(), nullptr, 0, nullptr, nullptr)) return {};
    // Gone meanwhile, or removed by ReplaceFileW before it failed to rename the new file: the
    // name is free, and the new file must not be lost with the old one.
    const DWORD error = GetLastError();
    if (error != ERROR_FILE_NOT_FOUND && error != ERROR_UNABLE_TO_MOVE_REPLACEMENT) return failedWith(error);
  }
  return succeeded(MoveFileExW(from.c_str(), to.c_str(), moveFlags) != 0);
}

}  // namespace

namespace {

bool notFound(DWORD error) { return error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND; }

}  // namespace

PathExistence pathExists(const std::string& path) {
  if (attributesOf(systemPath(path)) != INVALID_FILE_ATTRIBUTES) return {true, std::nullopt};
  const DWORD error = GetLastError();
  if (notFound(error)) return {};
  return {false, failedWith(error).failure};
}

// The last write time as the file system keeps it (UTC, 100 ns since 1601), in whole seconds
// since 1970. _stat64i32 reports the same, but refuses any name with a '?', so the "\\?\" form.
std::optional<std::int64_t> modificationTime(const std::string& path) {
  WIN32_FILE_ATTRIBUTE_DATA data{};
  if (!GetFileAttributesExW(systemPath(path).c_str(), GetFileExInfoStandard, &data)) return std::nullopt;
  const auto ticks = static_cast<std::int64_t>((static_cast<std::uint64_t>(data.ftLastWriteTime.dwHighDateTime) << 32) |
                                               data.ftLastWriteTime.dwLowDateTime);
  constexpr std::int64_t ticksPerSecond = 10000000, secondsFrom1601To1970 = 11644473600;
  return ticks / ticksPerSecond - secondsFrom1601To1970;
}

FileResult createDirectory(const std::string& path) {
  return succeeded(CreateDirectoryW(systemPath(path).c_str(), nullptr) != 0);
}

FileResult moveFileReplacing(const std::string& from, const std::string& to) {
  return succeeded(MoveFileExW(systemPath(from).c_str(), systemPath(to).c_str(),
                               MOVEFILE_REPLACE_EXISTING | MOVEFILE_COPY_ALLOWED) != 0);
}

FileResult writeFileAtomically(const std::string& path, std::string_view bytes) {
  static std::atomic<unsigned> counter{0};
  NewFile file(path + ".tmp" + std::to_string(GetCurrentProcessId()) + "_" + std::to_string(counter++));
  if (FileResult written = file.write(bytes); !written) return written;
  return file.replace(path);
}

bool isRegularFile(const std::string& path) {
  const DWORD attributes = attributesOf(systemPath(path));
  return attributes != INVALID_FILE_ATTRIBUTES &&
         (attributes & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_DEVICE)) == 0;
}

std::FILE* openForReading(const std::string& path) { return _wfopen(systemPath(path).c_str(), L"rb"); }

namespace {

FileContent unreadable(DWORD error) { return {std::nullopt, *failedWith(error).failure, notFound(error)}; }

FileContent readToEnd(HANDLE file) {
  std::string content;
  char buffer[65536];
  for (;;) {
    DWORD got = 0;
    if (!ReadFile(file, buffer, sizeof buffer, &got, nullptr)) return unreadable(GetLastError());
    if (got == 0) return {std::move(content), "", false};
    content.append(buffer, got);
  }
}

}  // namespace

FileContent readWholeFile(const std::string& path) {
  const std::wstring name = systemPath(path);
  const DWORD attributes = attributesOf(name);
  if (attributes == INVALID_FILE_ATTRIBUTES) return unreadable(GetLastError());
  // What opening a folder as a file gives.
  if ((attributes & FILE_ATTRIBUTE_DIRECTORY) != 0) return unreadable(ERROR_ACCESS_DENIED);
  if ((attributes & FILE_ATTRIBUTE_DEVICE) != 0) return {std::nullopt, "not a regular file", false};
  const HANDLE file = CreateFileW(name.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                  OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) return unreadable(GetLastError());
  FileContent read = readToEnd(file);
  CloseHandle(file);
  return read;
}

FileResult removeFile(const std::string& path) { return succeeded(DeleteFileW(systemPath(path).c_str()) != 0); }

NewFile::NewFile(std::string filePath, Use)
    : path(std::move(filePath)), handle(reinterpret_cast<std::intptr_t>(createNew(path))) {
  if (!isOpen()) openFailure = lastFailure().failure;
}

NewFile::~NewFile() {
  if (isOpen()) CloseHandle(handleOf(handle));
  if (!replaced) DeleteFileW(systemPath(path).c_str());
}

bool NewFile::isOpen() const { return handleOf(handle) != INVALID_HANDLE_VALUE; }

FileResult NewFile::opened() const { return {openFailure}; }

FileResult NewFile::write(std::string_view bytes) {
  if (!isOpen()) return opened();
  return writeAll(handleOf(handle), bytes);
}

FileResult NewFile::close() {
  if (!isOpen()) return failedWith(ERROR_INVALID_HANDLE);
  return succeeded(CloseHandle(handleOf(std::exchange(handle, reinterpret_cast<std::intptr_t>(INVALID_HANDLE_VALUE)))) != 0);
}

FileResult NewFile::replace(const std::string& target) {
  if (!isOpen()) return failedWith(ERROR_INVALID_HANDLE);
  const HANDLE file = handleOf(std::exchange(handle, reinterpret_cast<std::intptr_t>(INVALID_HANDLE_VALUE)));
  FileResult result = succeeded(FlushFileBuffers(file) != 0);
  const FileResult closed = succeeded(CloseHandle(file) != 0);
  if (result) result = closed;
  const std::wstring to = systemPath(target);
  if (result && isReadOnly(to)) result = failedWith(ERROR_ACCESS_DENIED);
  if (result) result = putInPlace(systemPath(path), to, MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH);
  replaced = static_cast<bool>(result);
  return result;
}

void flushWrittenFiles(const std::string&) {}

FileResult writeNewPrivateFile(const std::string& path, std::string_view bytes) {
  const HANDLE file = createNew(path);
  if (file == INVALID_HANDLE_VALUE) return lastFailure();
  FileResult result = writeAll(file, bytes);
  const FileResult closed = succeeded(CloseHandle(file) != 0);
  if (result) result = closed;
  if (!result) DeleteFileW(systemPath(path).c_str());
  return result;
}

// Opened without sharing: nobody else can open the file while the handle lives.
FileLock::FileLock(const std::string& path)
    : handle(reinterpret_cast<std::intptr_t>(CreateFileW(systemPath(path).c_str(), GENERIC_READ | GENERIC_WRITE, 0,
                                                         nullptr, OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr))) {
  if (held()) return;
  const DWORD error = GetLastError();
  busy = error == ERROR_SHARING_VIOLATION;
  failure = busy ? "already locked" : *failedWith(error).failure;
}

FileLock::~FileLock() {
  if (held()) CloseHandle(handleOf(handle));
}

bool FileLock::held() const { return handleOf(handle) != INVALID_HANDLE_VALUE; }

bool FileLock::heldElsewhere() const { return busy; }

FileResult FileLock::taken() const { return {failure}; }

bool isReadOnlyFile(const std::string& path) { return isReadOnly(systemPath(path)); }

}  // namespace platform
