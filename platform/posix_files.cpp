#include "platform/files.h"

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cstdio>
#include <system_error>
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

namespace {

// The reason errno gives, read before any clean-up can change it.
std::string reasonOf(int error) { return std::system_category().message(error); }

// Nothing of that name, or a folder of the path missing or a file.
bool notFound(int error) { return error == ENOENT || error == ENOTDIR; }

}  // namespace

PathExistence pathExists(const std::string& path) {
  struct stat info {};
  if (::stat(nativePath(path).c_str(), &info) == 0) return {true, std::nullopt};
  if (notFound(errno)) return {};
  return {false, reasonOf(errno)};
}

std::optional<std::int64_t> modificationTime(const std::string& path) {
  struct stat info {};
  if (::stat(nativePath(path).c_str(), &info) != 0) return std::nullopt;
  return static_cast<std::int64_t>(info.st_mtim.tv_sec);
}

namespace {

// How much of a new file is written before it is sent on to the disk.
constexpr off_t writebackStep = 8 << 20;

FileResult failedWith(int error) { return {reasonOf(error)}; }
FileResult lastFailure() { return failedWith(errno); }
FileResult succeeded(bool ok) { return ok ? FileResult{} : lastFailure(); }

}  // namespace

// mkdir and unlink lock the parent folder for writing even when they fail; a look first spares
// the lock when the answer is known (parallel installs in one folder would queue on it).
FileResult createDirectory(const std::string& path) {
  const std::string native = nativePath(path);
  struct stat info {};
  if (::lstat(native.c_str(), &info) == 0) return failedWith(EEXIST);
  return succeeded(::mkdir(native.c_str(), 0777) == 0);
}

// Windows refuses to replace a file with the read-only attribute; a file without any
// write permission bit plays that part here (also for root, who could write it anyway).
bool isReadOnlyFile(const std::string& path) {
  struct stat info {};
  return ::stat(nativePath(path).c_str(), &info) == 0 && S_ISREG(info.st_mode) && (info.st_mode & 0222) == 0;
}

namespace {

FileResult writeAll(int fd, std::string_view bytes) {
  while (!bytes.empty()) {
    ssize_t written = ::write(fd, bytes.data(), bytes.size());
    if (written < 0 && errno == EINTR) continue;
    if (written < 0) return lastFailure();
    if (written == 0) return failedWith(ENOSPC);
    bytes.remove_prefix(static_cast<size_t>(written));
  }
  return {};
}

// Closes the file; the first failure of the write before, or of the close, is the result.
FileResult closeAfter(int fd, FileResult written) {
  const FileResult closed = succeeded(::close(fd) == 0);
  return written ? closed : written;
}

std::string temporarySibling(const std::string& native) {
  static std::atomic<unsigned> counter{0};
  return native + ".tmp" + std::to_string(::getpid()) + "_" + std::to_string(counter++);
}

}  // namespace

FileResult moveFileReplacing(const std::string& from, const std::string& to) {
  const std::string target = nativePath(to);
  if (isReadOnlyFile(target)) return failedWith(EACCES);
  if (::rename(nativePath(from).c_str(), target.c_str()) == 0) return {};
  if (errno != EXDEV) return lastFailure();
  // Across volumes: copy, then remove the source, as MOVEFILE_COPY_ALLOWED does.
  const FileContent bytes = readWholeFile(from);
  if (!bytes) return {bytes.failure};
  if (FileResult written = writeFileAtomically(to, *bytes); !written) return written;
  return removeFile(from);
}

FileResult writeFileAtomically(const std::string& path, std::string_view bytes) {
  const std::string target = nativePath(path);
  if (isReadOnlyFile(target)) return failedWith(EACCES);
  const std::string temporary = temporarySibling(target);
  int fd = ::open(temporary.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
  if (fd < 0) return lastFailure();
  FileResult result = closeAfter(fd, writeAll(fd, bytes));
  if (result) result = succeeded(::rename(temporary.c_str(), target.c_str()) == 0);
  if (!result) ::unlink(temporary.c_str());
  return result;
}

namespace {

FileContent unreadable(int error) { return {std::nullopt, reasonOf(error), notFound(error)}; }

// Reads to the end; the reason of a failed read otherwise.
FileContent readToEnd(int fd) {
  std::string content;
  char buffer[65536];
  for (;;) {
    ssize_t got = ::read(fd, buffer, sizeof buffer);
    if (got < 0 && errno == EINTR) continue;
    if (got < 0) return unreadable(errno);
    if (got == 0) return {std::move(content), "", false};
    content.append(buffer, static_cast<size_t>(got));
  }
}

}  // namespace

FileContent readWholeFile(const std::string& path) {
  // Non-blocking, so that opening a FIFO returns at once; then only a regular file is read.
  int fd = ::open(nativePath(path).c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
  if (fd < 0) return unreadable(errno);
  struct stat info {};
  FileContent read = ::fstat(fd, &info) != 0 ? unreadable(errno)
                     : S_ISDIR(info.st_mode) ? unreadable(EISDIR)
                     : !S_ISREG(info.st_mode) ? FileContent{std::nullopt, "not a regular file", false}
                                              : readToEnd(fd);
  ::close(fd);
  return read;
}

std::FILE* openForReading(const std::string& path) { return std::fopen(nativePath(path).c_str(), "rb"); }

bool isRegularFile(const std::string& path) {
  struct stat info {};
  return ::stat(nativePath(path).c_str(), &info) == 0 && S_ISREG(info.st_mode);
}

// As createDirectory: no folder lock for a file that is not there.
FileResult removeFile(const std::string& path) {
  const std::string native = nativePath(path);
  struct stat info {};
  if (::lstat(native.c_str(), &info) != 0) return lastFailure();
  return succeeded(::unlink(native.c_str()) == 0);
}

NewFile::NewFile(std::string filePath, Use fileUse)
    : path(nativePath(filePath)),
      handle(::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666)),
      use(fileUse) {
  if (handle < 0) openFailure = lastFailure().failure;
}

NewFile::~NewFile() {
  if (handle >= 0) ::close(static_cast<int>(handle));
  if (!replaced) ::unlink(path.c_str());
}

bool NewFile::isOpen() const { return handle >= 0; }

FileResult NewFile::opened() const { return {openFailure}; }

FileResult NewFile::write(std::string_view bytes) {
  if (handle < 0) return opened();
  const int fd = static_cast<int>(handle);
  const std::uint64_t before = std::exchange(written, written + bytes.size());
  FileResult result = writeAll(fd, bytes);
  // Each whole step of a large file starts on its way to the disk while the rest arrives, so the
  // flush before the digest cache is written waits for little.
  if (use == Use::Replacement && written / writebackStep != before / writebackStep)
    ::sync_file_range(fd, static_cast<off_t>(before / writebackStep * writebackStep), writebackStep,
                      SYNC_FILE_RANGE_WRITE);
  return result;
}

FileResult NewFile::close() {
  if (handle < 0) return failedWith(EBADF);
  return succeeded(::close(static_cast<int>(std::exchange(handle, -1))) == 0);
}

FileResult NewFile::replace(const std::string& target) {
  if (handle < 0) return failedWith(EBADF);
  const int fd = static_cast<int>(std::exchange(handle, -1));
  const std::string native = nativePath(target);
  FileResult result = isReadOnlyFile(native) ? failedWith(EACCES) : FileResult{};
  // A script that was executable stays executable.
  struct stat info {};
  if (result && ::stat(native.c_str(), &info) == 0 && S_ISREG(info.st_mode)) {
    result = succeeded(::fchmod(fd, info.st_mode & 07777) == 0);
  }
  result = closeAfter(fd, result);
  if (result) result = succeeded(::rename(path.c_str(), native.c_str()) == 0);
  replaced = static_cast<bool>(result);
  return result;
}

void flushWrittenFiles(const std::string& folder) {
  const int fd = ::open(folder.empty() ? "." : nativePath(folder).c_str(), O_RDONLY | O_CLOEXEC | O_DIRECTORY);
  if (fd < 0) return;
  ::syncfs(fd);
  ::close(fd);
}

FileResult writeNewPrivateFile(const std::string& path, std::string_view bytes) {
  const std::string native = nativePath(path);
  const int fd = ::open(native.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
  if (fd < 0) return lastFailure();
  const FileResult result = closeAfter(fd, writeAll(fd, bytes));
  if (!result) ::unlink(native.c_str());
  return result;
}

// flock, not fcntl: an fcntl lock belongs to the process, so a second lock in the same
// process would be granted. Opened for reading only: flock needs no more, and a lock file
// left in a folder that became read-only can still be locked.
FileLock::FileLock(const std::string& path)
    : handle(::open(nativePath(path).c_str(), O_RDONLY | O_CREAT | O_CLOEXEC | O_NOFOLLOW, 0644)) {
  if (handle < 0) failure = reasonOf(errno);
  if (handle >= 0 && ::flock(static_cast<int>(handle), LOCK_EX | LOCK_NB) != 0) {
    busy = errno == EWOULDBLOCK;
    failure = busy ? "already locked" : reasonOf(errno);
    ::close(static_cast<int>(handle));
    handle = -1;
  }
}

FileLock::~FileLock() {
  if (handle >= 0) ::close(static_cast<int>(handle));
}

bool FileLock::held() const { return handle >= 0; }

bool FileLock::heldElsewhere() const { return busy; }

FileResult FileLock::taken() const { return {failure}; }

}  // namespace platform
