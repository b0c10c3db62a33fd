#pragma once
// Folders the shell knows about.
#include <optional>
#include <string>

namespace platform {

// The user's Documents folder (SHGetSpecialFolderPathW with CSIDL_PERSONAL, not created),
// as a path (UTF-8, as every path of files.h); nothing when it cannot be determined. On Linux: XDG_DOCUMENTS_DIR of
// user-dirs.dirs, else $HOME/Documents (where Wine maps "My Documents" by default).
std::optional<std::string> documentsFolder();

// The running executable's path as GetModuleFileNameW reports it into 256 characters, in UTF-8.
std::string executablePath();

}  // namespace platform
