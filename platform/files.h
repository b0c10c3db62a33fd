#pragma once
// File system operations the program needs, with the Windows behaviour on every platform:
// paths may use '\' or '/', a file without write permission counts as read-only.
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace platform {

// The path as the operating system wants it ('\' becomes '/' on POSIX systems).
std::string nativePath(std::string_view path);

// True when a file system object of any kind answers to the path. Any failure of the
// query (not found, access denied, invalid name) counts as not existing.
bool pathExists(const std::string& path);

// Last modification time in whole seconds since 1970 (the C run-time's _stat64i32),
// or nothing when the path does not exist.
std::optional<std::int64_t> modificationTime(const std::string& path);

// CreateDirectoryA: creates one folder. False when it exists already or cannot be made.
bool createDirectory(const std::string& path);

// MoveFileExW with MOVEFILE_REPLACE_EXISTING | MOVEFILE_COPY_ALLOWED.
bool moveFileReplacing(const std::string& from, const std::string& to);

// Writes the bytes to a new file in the target's folder and renames it over the target,
// so the target holds either its old or its new content, never a part. A read-only target
// is left alone. No temporary file remains on any way out.
bool writeFileAtomically(const std::string& path, std::string_view bytes);

// The whole content of a file, or nothing when it cannot be read.
std::optional<std::string> readWholeFile(const std::string& path);

// Creates a file that only its owner may read or write (mode 0600 on POSIX systems; on
// Windows the folder's permissions apply) and writes the bytes. False when something of that
// name exists already or the file cannot be written; a file begun is removed again.
bool writeNewPrivateFile(const std::string& path, std::string_view bytes);

}  // namespace platform
