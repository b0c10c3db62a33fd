// Plays the game in a game folder: loads binkw32.dll by name from its own folder, as the game's
// executable does, calls a few exports and prints their answers and which CMain.dll came along.
#include <stdio.h>
#include <windows.h>

typedef int(__stdcall *NoArguments)(void);
typedef int(__stdcall *TwoArguments)(int, int);
typedef int(__stdcall *ThreeArguments)(int, int, int);
typedef int(__stdcall *ElevenArguments)(int, int, int, int, int, int, int, int, int, int, int);

static FARPROC lookUp(HMODULE library, const char *name) {
  FARPROC function = GetProcAddress(library, name);
  if (function == NULL) {
    printf("%s: missing\n", name);
    fflush(stdout);
    ExitProcess(2);
  }
  return function;
}

int main(void) {
  HMODULE loader = LoadLibraryW(L"binkw32.dll");
  if (loader == NULL) {
    printf("binkw32.dll: not loaded (%lu)\n", GetLastError());
    return 1;
  }
  wchar_t path[MAX_PATH] = L"none";
  HMODULE cmain = GetModuleHandleW(L"CMain.dll");
  if (cmain != NULL) GetModuleFileNameW(cmain, path, MAX_PATH);
  printf("CMain: %ls\n", path);

  printf("_BinkBufferBlit@12: %d\n", ((ThreeArguments)lookUp(loader, "_BinkBufferBlit@12"))(7, 8, 9));
  printf("_BinkCopyToBufferRect@44: %d\n",
         ((ElevenArguments)lookUp(loader, "_BinkCopyToBufferRect@44"))(5, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10));
  printf("_BinkGetError@0: %d\n", ((NoArguments)lookUp(loader, "_BinkGetError@0"))());
  printf("_BinkOpen@8: %d\n", ((TwoArguments)lookUp(loader, "_BinkOpen@8"))(3, 4));
  printf("_RADTimerRead@0: %d\n", ((NoArguments)lookUp(loader, "_RADTimerRead@0"))());
  return 0;
}
