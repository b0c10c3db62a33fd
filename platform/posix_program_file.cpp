#include "platform/program_file.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "platform/files.h"

namespace platform {

namespace {

std::string failure(const std::string& what) { return what + ": " + std::strerror(errno); }

bool writeAll(int fd, std::string_view bytes) {
  while (!bytes.empty()) {
    const ssize_t written = ::write(fd, bytes.data(), bytes.size());
    if (written < 0 && errno == EINTR) continue;
    if (written <= 0) return false;
    bytes.remove_prefix(static_cast<std::size_t>(written));
  }
  return true;
}

// The rename itself reaches the disk only with its folder.
void flushFolderOf(const std::string& path) {
  const std::string::size_type slash = path.rfind('/');
  const std::string folder = slash == std::string::npos ? "." : slash == 0 ? "/" : path.substr(0, slash);
  const int fd = ::open(folder.c_str(), O_RDONLY | O_CLOEXEC | O_DIRECTORY);
  if (fd < 0) return;
  ::fsync(fd);
  ::close(fd);
}

}  // namespace

std::string programFileName(std::string_view stem) { return std::string(stem); }

std::string replaceProgram(const std::string& program, std::string_view content) {
  const std::string target = nativePath(program), fresh = target + ".new";
  struct stat info {};
  if (::stat(target.c_str(), &info) != 0) return failure(program);
  if (isReadOnlyFile(target)) return program + ": read-only; not replaced";
  ::unlink(fresh.c_str());  // a copy that a cut-off run left
  const int fd = ::open(fresh.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
  if (fd < 0) return failure(fresh);
  bool ok = writeAll(fd, content) && ::fchmod(fd, info.st_mode & 07777) == 0 && ::fsync(fd) == 0;
  const std::string reason = ok ? "" : failure(fresh);
  ok = ::close(fd) == 0 && ok;
  if (ok && ::rename(fresh.c_str(), target.c_str()) == 0) {
    flushFolderOf(target);
    return "";
  }
  const std::string why = reason.empty() ? failure(program) : reason;
  ::unlink(fresh.c_str());
  return why;
}

bool tidyProgramCopies(const std::string& program) {
  const std::string target = nativePath(program);
  bool tidy = true;
  for (const char* suffix : {".new", ".old"})
    tidy = (::unlink((target + suffix).c_str()) == 0 || errno == ENOENT) && tidy;
  return tidy;
}

std::string startReplacedProgram(const std::string& program, char** argv) {
  ::execv(nativePath(program).c_str(), argv);
  return failure(program);
}

}  // namespace platform
