#include "platform/program_file.h"

#include <windows.h>

#include "platform/win32_path.h"
#include "platform/win32_text.h"

namespace platform {

namespace {

std::string failure(const std::string& what) {
  const DWORD code = GetLastError();
  char text[512] = {};
  const DWORD length = FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr, code, 0,
                                      text, sizeof text, nullptr);
  std::string reason(text, length);
  while (!reason.empty() && (reason.back() == '\n' || reason.back() == '\r' || reason.back() == '.')) reason.pop_back();
  return what + ": " + (reason.empty() ? "error " + std::to_string(code) : reason);
}

bool moveFile(const std::wstring& from, const std::wstring& to, DWORD flags = 0) {
  return MoveFileExW(from.c_str(), to.c_str(), flags | MOVEFILE_WRITE_THROUGH) != 0;
}

// The whole content, flushed to disk, in a new file.
bool writeFlushed(const std::wstring& path, std::string_view content) {
  const HANDLE file = CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) return false;
  bool ok = true;
  while (ok && !content.empty()) {
    const DWORD chunk = content.size() > 0x40000000u ? 0x40000000u : static_cast<DWORD>(content.size());
    DWORD written = 0;
    ok = WriteFile(file, content.data(), chunk, &written, nullptr) && written != 0;
    content.remove_prefix(written);
  }
  ok = FlushFileBuffers(file) && ok;
  return CloseHandle(file) && ok;
}

}  // namespace

std::string programFileName(std::string_view stem) { return std::string(stem) + ".exe"; }

std::string replaceProgram(const std::string& program, std::string_view content) {
  const std::wstring target = systemPath(program), fresh = target + L".new", aside = target + L".old";
  const DWORD attributes = GetFileAttributesW(target.c_str());
  if (attributes == INVALID_FILE_ATTRIBUTES) return failure(program);
  if (attributes & FILE_ATTRIBUTE_READONLY) return program + ": read-only; not replaced";
  if (!writeFlushed(fresh, content) || !SetFileAttributesW(fresh.c_str(), attributes)) {
    const std::string reason = failure(program + ".new");
    DeleteFileW(fresh.c_str());
    return reason;
  }
  // A program that is not running is replaced in one step; a running one can only be renamed.
  if (moveFile(fresh, target, MOVEFILE_REPLACE_EXISTING)) return "";
  DeleteFileW(aside.c_str());
  if (!moveFile(target, aside, MOVEFILE_REPLACE_EXISTING)) {
    const std::string reason = failure(program);
    DeleteFileW(fresh.c_str());
    return reason;
  }
  if (!moveFile(fresh, target)) {
    const std::string reason = failure(program);
    moveFile(aside, target);
    DeleteFileW(fresh.c_str());
    return reason;
  }
  DeleteFileW(aside.c_str());  // refused while the old program runs; tidyProgramCopies takes it later
  return "";
}

bool tidyProgramCopies(const std::string& program) {
  const std::wstring target = systemPath(program), aside = target + L".old";
  if (GetFileAttributesW(target.c_str()) == INVALID_FILE_ATTRIBUTES) moveFile(aside, target);
  bool tidy = true;
  for (const std::wstring& copy : {target + L".new", aside})
    tidy = (DeleteFileW(copy.c_str()) || GetLastError() == ERROR_FILE_NOT_FOUND) && tidy;
  return tidy;
}

std::string startReplacedProgram(const std::string& program, char**) {
  const std::wstring target = systemPath(program);
  // The path as the program gave it (a module's path fits in 260 characters) names the new one.
  const std::wstring shown = widenUtf8(program).value_or(target);
  // The arguments as this process got them: its command line after the program's own name,
  // which is quoted or ends at the first blank.
  const wchar_t* rest = GetCommandLineW();
  if (*rest == L'"') {
    for (++rest; *rest != L'\0' && *rest != L'"';) ++rest;
    if (*rest == L'"') ++rest;
  } else {
    while (*rest != L'\0' && *rest != L' ' && *rest != L'\t') ++rest;
  }
  std::wstring line = L"\"" + shown + L"\"" + rest;
  STARTUPINFOW startup{};
  startup.cb = sizeof startup;
  PROCESS_INFORMATION process{};
  if (CreateProcessW(shown.c_str(), line.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup, &process)) {
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);
    return "";
  }
  const std::string reason = failure(program);
  moveFile(target + L".old", target, MOVEFILE_REPLACE_EXISTING);
  return reason;
}

}  // namespace platform
