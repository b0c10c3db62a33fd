#include "platform/files.h"

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cstdio>
#include <utility>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

namespace platform {

std::string nativePath(std::string_view path) {
  std::string native(path);
  std::replace(native.begin(), native.end(), '\\', '/');
  return native;
}

bool pathExists(const std::string& path) {
  struct stat info {};
  return ::stat(nativePath(path).c_str(), &info) == 0;
}

std::optional<std::int64_t> modificationTime(const std::string& path) {
  struct stat info {};
  if (::stat(nativePath(path).c_str(), &info) != 0) return std::nullopt;
  return static_cast<std::int64_t>(info.st_mtim.tv_sec);
}

bool createDirectory(const std::string& path) {
  return ::mkdir(nativePath(path).c_str(), 0777) == 0;
}

// Windows refuses to replace a file with the read-only attribute; a file without any
// write permission bit plays that part here (also for root, who could write it anyway).
bool isReadOnlyFile(const std::string& path) {
  struct stat info {};
  return ::stat(nativePath(path).c_str(), &info) == 0 && S_ISREG(info.st_mode) && (info.st_mode & 0222) == 0;
}

namespace {

bool writeAll(int fd, std::string_view bytes) {
  while (!bytes.empty()) {
    ssize_t written = ::write(fd, bytes.data(), bytes.size());
    if (written < 0 && errno == EINTR) continue;
    if (written <= 0) return false;
    bytes.remove_prefix(static_cast<size_t>(written));
  }
  return true;
}

std::string temporarySibling(const std::string& native) {
  static std::atomic<unsigned> counter{0};
  return native + ".tmp" + std::to_string(::getpid()) + "_" + std::to_string(counter++);
}

}  // namespace

bool moveFileReplacing(const std::string& from, const std::string& to) {
  const std::string target = nativePath(to);
  if (isReadOnlyFile(target)) return false;
  if (::rename(nativePath(from).c_str(), target.c_str()) == 0) return true;
  if (errno != EXDEV) return false;
  // Across volumes: copy, then remove the source, as MOVEFILE_COPY_ALLOWED does.
  auto bytes = readWholeFile(from);
  return bytes && writeFileAtomically(to, *bytes) && ::unlink(nativePath(from).c_str()) == 0;
}

bool writeFileAtomically(const std::string& path, std::string_view bytes) {
  const std::string target = nativePath(path);
  if (isReadOnlyFile(target)) return false;
  const std::string temporary = temporarySibling(target);
  int fd = ::open(temporary.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
  if (fd < 0) return false;
  bool ok = writeAll(fd, bytes);
  ok = (::close(fd) == 0) && ok;
  ok = ok && ::rename(temporary.c_str(), target.c_str()) == 0;
  if (!ok) ::unlink(temporary.c_str());
  return ok;
}

std::optional<std::string> readWholeFile(const std::string& path) {
  // Non-blocking, so that opening a FIFO returns at once; then only a regular file is read.
  int fd = ::open(nativePath(path).c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
  if (fd < 0) return std::nullopt;
  struct stat info {};
  if (::fstat(fd, &info) != 0 || !S_ISREG(info.st_mode)) {
    ::close(fd);
    return std::nullopt;
  }
  std::string content;
  char buffer[65536];
  for (;;) {
    ssize_t got = ::read(fd, buffer, sizeof buffer);
    if (got < 0 && errno == EINTR) continue;
    if (got < 0) {
      ::close(fd);
      return std::nullopt;
    }
    if (got == 0) break;
    content.append(buffer, static_cast<size_t>(got));
  }
  ::close(fd);
  return content;
}

std::FILE* openForReading(const std::string& path) { return std::fopen(nativePath(path).c_str(), "rb"); }

bool isRegularFile(const std::string& path) {
  struct stat info {};
  return ::stat(nativePath(path).c_str(), &info) == 0 && S_ISREG(info.st_mode);
}

bool removeFile(const std::string& path) { return ::unlink(nativePath(path).c_str()) == 0; }

NewFile::NewFile(std::string filePath)
    : path(nativePath(filePath)),
      handle(::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666)) {}

NewFile::~NewFile() {
  if (handle >= 0) ::close(static_cast<int>(handle));
  if (!replaced) ::unlink(path.c_str());
}

bool NewFile::isOpen() const { return handle >= 0; }

bool NewFile::write(std::string_view bytes) { return handle >= 0 && writeAll(static_cast<int>(handle), bytes); }

bool NewFile::replace(const std::string& target) {
  if (handle < 0) return false;
  const int fd = static_cast<int>(std::exchange(handle, -1));
  const std::string native = nativePath(target);
  bool ok = !isReadOnlyFile(native);
  // A script that was executable stays executable.
  struct stat info {};
  if (ok && ::stat(native.c_str(), &info) == 0 && S_ISREG(info.st_mode)) {
    ok = ::fchmod(fd, info.st_mode & 07777) == 0;
  }
  ok = (::close(fd) == 0) && ok;
  replaced = ok && ::rename(path.c_str(), native.c_str()) == 0;
  return replaced;
}

void flushWrittenFiles(const std::string& folder) {
  const int fd = ::open(folder.empty() ? "." : nativePath(folder).c_str(), O_RDONLY | O_CLOEXEC | O_DIRECTORY);
  if (fd < 0) return;
  ::syncfs(fd);
  ::close(fd);
}

bool writeNewPrivateFile(const std::string& path, std::string_view bytes) {
  const std::string native = nativePath(path);
  const int fd = ::open(native.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
  if (fd < 0) return false;
  bool ok = writeAll(fd, bytes);
  ok = (::close(fd) == 0) && ok;
  if (!ok) ::unlink(native.c_str());
  return ok;
}

// flock, not fcntl: an fcntl lock belongs to the process, so a second lock in the same
// process would be granted.
FileLock::FileLock(const std::string& path)
    : handle(::open(nativePath(path).c_str(), O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW, 0644)) {
  if (handle >= 0 && ::flock(static_cast<int>(handle), LOCK_EX | LOCK_NB) != 0) {
    ::close(static_cast<int>(handle));
    handle = -1;
  }
}

FileLock::~FileLock() {
  if (handle >= 0) ::close(static_cast<int>(handle));
}

bool FileLock::held() const { return handle >= 0; }

}  // namespace platform
