#pragma once
// File system operations the program needs, with the Windows behaviour on every platform:
// paths may use '\' or '/', a file without write permission counts as read-only. Paths are UTF-8
// texts, as the file lists give them; Windows gets them as wide texts in their long form, so no
// path is cut at 260 characters.
#include <cstdint>
#include <cstdio>
#include <optional>
#include <string>
#include <string_view>

namespace platform {

// What a call that changes files returns: success, or the operating system's own reason for
// the failure ("No space left on device"), so the caller can say why.
struct FileResult {
  std::optional<std::string> failure;
  explicit operator bool() const { return !failure; }
};

// The path as the operating system wants it ('\' becomes '/' on POSIX systems).
std::string nativePath(std::string_view path);

// Whether a file system object of any kind answers to the path. When the system cannot tell
// (access denied on a folder of the path, an invalid name), it counts as not existing and
// `failure` says why; "not found" is no failure.
struct PathExistence {
  bool exists = false;
  std::optional<std::string> failure;
  explicit operator bool() const { return exists; }
};
PathExistence pathExists(const std::string& path);

// Last modification time in whole seconds since 1970 (what the C run-time's _stat64i32 reports),
// or nothing when the path does not exist.
std::optional<std::int64_t> modificationTime(const std::string& path);

// CreateDirectoryW: creates one folder. Fails when it exists already or cannot be made.
FileResult createDirectory(const std::string& path);

// MoveFileExW with MOVEFILE_REPLACE_EXISTING | MOVEFILE_COPY_ALLOWED.
FileResult moveFileReplacing(const std::string& from, const std::string& to);

// A file that may not be replaced: the read-only attribute on Windows, no write permission
// bit on POSIX systems.
bool isReadOnlyFile(const std::string& path);

// Writes the bytes to a new file in the target's folder and renames it over the target,
// so the target holds either its old or its new content, never a part. A read-only target
// is left alone. No temporary file remains on any way out.
FileResult writeFileAtomically(const std::string& path, std::string_view bytes);

// The whole content of a file, or the system's reason why there is none; `missing` tells a
// file that is not there (nothing of that name, or a folder of the path missing) from one
// that cannot be read. Anything but a regular file (a FIFO, a device, a folder) is never
// opened, so reading never hangs on it.
struct FileContent {
  std::optional<std::string> content;
  std::string failure;  // when there is no content
  bool missing = false;
  explicit operator bool() const { return content.has_value(); }
  const std::string& operator*() const { return *content; }
  const std::string* operator->() const { return &*content; }
};
FileContent readWholeFile(const std::string& path);

// The file opened for reading in binary mode (fopen's "rb"), or null; the caller closes it.
std::FILE* openForReading(const std::string& path);

// True for a regular file (not a folder, FIFO or device).
bool isRegularFile(const std::string& path);

// Removes one file; fails when there was none or it cannot be removed.
FileResult removeFile(const std::string& path);

// Content that arrives as a stream: a new file written piece by piece, then moved over its
// target in one step. Removed again when destroyed unless it has replaced a target.
class NewFile {
 public:
  // What mostly becomes of the file. One that is to replace its target is sent on to the disk
  // in steps while it is written (POSIX systems), so that flushWrittenFiles waits for little
  // after it; a scratch file, mostly removed again, is left to the system.
  enum class Use { Replacement, Scratch };
  // Creates the file; fails (isOpen() false, the reason in opened()) when something of that
  // name exists already.
  explicit NewFile(std::string path, Use use = Use::Replacement);
  ~NewFile();
  NewFile(const NewFile&) = delete;
  NewFile& operator=(const NewFile&) = delete;

  bool isOpen() const;
  FileResult opened() const;
  FileResult write(std::string_view bytes);
  // Closes the file and renames it over `target`, which keeps its permission bits (on Windows
  // its attributes and security, by ReplaceFileW); a read-only target is left alone (as
  // writeFileAtomically does). On Windows the content is flushed to disk first.
  FileResult replace(const std::string& target);
  // Closes the file, which stays until the object goes, so that it can be read back.
  FileResult close();

 private:
  std::string path;
  std::intptr_t handle;
  bool replaced = false;
  Use use = Use::Replacement;
  std::uint64_t written = 0;  // bytes so far
  std::optional<std::string> openFailure;
};

// Flushes what was written below the folder to disk (syncfs on POSIX systems; on Windows each
// NewFile is flushed as it replaces its target, so nothing is left to do).
void flushWrittenFiles(const std::string& folder);

// Creates a file that only its owner may read or write (mode 0600 on POSIX systems; on
// Windows the folder's permissions apply) and writes the bytes. Fails when something of that
// name exists already or the file cannot be written; a file begun is removed again.
FileResult writeNewPrivateFile(const std::string& path, std::string_view bytes);

// An exclusive lock on a file (made when missing), held until the object goes or the process
// ends, even by a kill; a second holder, in this process or another, is refused at once.
class FileLock {
 public:
  explicit FileLock(const std::string& path);
  ~FileLock();
  FileLock(const FileLock&) = delete;
  FileLock& operator=(const FileLock&) = delete;

  bool held() const;
  // Why it is not held: another holder has the lock (heldElsewhere), or the system's reason
  // why the file could not be made, opened or locked (a read-only folder, a full disk).
  bool heldElsewhere() const;
  FileResult taken() const;

 private:
  std::intptr_t handle;
  bool busy = false;
  std::optional<std::string> failure;
};

}  // namespace platform
