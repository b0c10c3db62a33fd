// The loader library takes the place of the game's video library binkw32.dll. Its exports only
// jump on to the game's own library, kept as binkw32_orig.dll (forwarders.s, generated from
// exports.txt); its entry point brings the modification's CMain.dll into the game.
//
// Built without the C run-time: the entry point runs under the system's loader lock, where
// only kernel32 is safe to call, and the library then imports nothing but kernel32 and the
// game's own library.
#include <windows.h>

enum {
  ownPathCapacity = 256,  // wide characters, as the game's folders have always fitted
  mainPathCapacity = ownPathCapacity + 64,
  lineCapacity = mainPathCapacity + 32,
};

typedef struct {
  wchar_t *text;
  int length;
  int capacity;
} WideText;

static void append(WideText *to, const wchar_t *text) {
  while (*text != L'\0' && to->length + 1 < to->capacity) to->text[to->length++] = *text++;
  to->text[to->length] = L'\0';
}

// Cuts the text at its last backslash; false when there is none.
static BOOL cutAtLastBackslash(WideText *path) {
  for (int i = path->length - 1; i >= 0; --i) {
    if (path->text[i] == L'\\') {
      path->text[i] = L'\0';
      path->length = i;
      return TRUE;
    }
  }
  return FALSE;
}

static BOOL existsBelow(const WideText *folder, const wchar_t *relative) {
  wchar_t buffer[mainPathCapacity];
  WideText path = {buffer, 0, mainPathCapacity};
  append(&path, folder->text);
  append(&path, relative);
  return GetFileAttributesW(path.text) != INVALID_FILE_ATTRIBUTES;
}

// Wide text to standard output: as it is on a console, in the active code page elsewhere
// (a pipe or a file), the way the C run-time's wide output treats them.
static void writeStandardOutput(const WideText *line) {
  HANDLE out = GetStdHandle(STD_OUTPUT_HANDLE);
  if (out == NULL || out == INVALID_HANDLE_VALUE) return;
  DWORD written = 0;
  DWORD mode = 0;
  if (GetConsoleMode(out, &mode)) {
    WriteConsoleW(out, line->text, (DWORD)line->length, &written, NULL);
    return;
  }
  char narrow[lineCapacity * 2];
  int length = WideCharToMultiByte(CP_ACP, 0, line->text, line->length, narrow, (int)sizeof narrow, NULL, NULL);
  if (length > 0) WriteFile(out, narrow, (DWORD)length, &written, NULL);
}

// The library lies in the game's "bin" folder; CMain.dll lies in "QuarnServer\bin" under the
// installation root, which is one level above "base", or three when "base" is inside "Data".
static void loadMainLibrary(HINSTANCE self) {
  wchar_t own[ownPathCapacity];
  DWORD ownLength = GetModuleFileNameW(self, own, ownPathCapacity);
  // A cut-off path would name some other folder; load nothing rather than a wrong library.
  if (ownLength == 0 || ownLength >= ownPathCapacity) return;
  WideText base = {own, (int)ownLength, ownPathCapacity};
  if (!cutAtLastBackslash(&base) || !cutAtLastBackslash(&base)) return;

  wchar_t mainBuffer[mainPathCapacity];
  WideText mainPath = {mainBuffer, 0, mainPathCapacity};
  append(&mainPath, base.text);
  if (existsBelow(&base, L"\\..\\..\\Data") && existsBelow(&base, L"\\..\\..\\DataOP")) {
    append(&mainPath, L"\\..\\..\\QuarnServer\\bin\\CMain.dll");
  } else {
    append(&mainPath, L"\\..\\QuarnServer\\bin\\CMain.dll");
  }

  wchar_t lineBuffer[lineCapacity];
  WideText line = {lineBuffer, 0, lineCapacity};
  append(&line, L"Loading CMain from Path: '");
  append(&line, mainPath.text);
  append(&line, L"'\r\n");
  writeStandardOutput(&line);

  LoadLibraryW(mainPath.text);  // without CMain the game runs unmodified
}

BOOL WINAPI DllMain(HINSTANCE self, DWORD reason, LPVOID reserved) {
  (void)reserved;
  // Not while the library or the process goes away: loading a library then, under the
  // loader lock of a process whose other threads are already gone, can hang the game's
  // exit, and would bring CMain.dll back after it was itself detached.
  if (reason != DLL_PROCESS_DETACH) loadMainLibrary(self);
  return TRUE;
}
