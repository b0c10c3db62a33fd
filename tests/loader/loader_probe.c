// Plays the game: loads binkw32.dll by name from its own folder. Prints the loader's tables as
// mapped (each export's ordinal, name and the ordinal of the binkw32_orig.dll function its jump
// reaches; the imported libraries), where CMain.dll came from, and the answers of two calls.
#include <stdio.h>
#include <windows.h>

#define AT(type, rva) ((type)(base + (rva)))

// The function of binkw32_orig.dll that "jmp dword ptr [slot]" at the code reaches, by ordinal.
static int reachedOrdinal(HMODULE original, const unsigned char *code) {
  if (code[0] != 0xff || code[1] != 0x25) return 0;
  FARPROC target = **(FARPROC *const *)(code + 2);
  for (int ordinal = 1; ordinal < 1000; ++ordinal)
    if (GetProcAddress(original, MAKEINTRESOURCEA(ordinal)) == target) return ordinal;
  return 0;
}

int main(void) {
  HMODULE loader = LoadLibraryW(L"binkw32.dll"), original = GetModuleHandleW(L"binkw32_orig.dll");
  if (loader == NULL || original == NULL) return printf("not loaded (%lu)\n", GetLastError());
  const unsigned char *base = (const unsigned char *)loader;
  const IMAGE_DATA_DIRECTORY *tables =
      AT(const IMAGE_NT_HEADERS *, AT(const IMAGE_DOS_HEADER *, 0)->e_lfanew)->OptionalHeader.DataDirectory;
  const IMAGE_EXPORT_DIRECTORY *exports =
      AT(const IMAGE_EXPORT_DIRECTORY *, tables[IMAGE_DIRECTORY_ENTRY_EXPORT].VirtualAddress);
  const DWORD *names = AT(const DWORD *, exports->AddressOfNames);
  const DWORD *functions = AT(const DWORD *, exports->AddressOfFunctions);
  const WORD *ordinals = AT(const WORD *, exports->AddressOfNameOrdinals);
  printf("exports: %lu\n", exports->NumberOfFunctions);
  for (DWORD i = 0; i < exports->NumberOfNames; ++i)
    printf("%lu %s %d\n", exports->Base + ordinals[i], AT(const char *, names[i]),
           reachedOrdinal(original, AT(const unsigned char *, functions[ordinals[i]])));
  printf("imports:");
  const IMAGE_IMPORT_DESCRIPTOR *import =
      AT(const IMAGE_IMPORT_DESCRIPTOR *, tables[IMAGE_DIRECTORY_ENTRY_IMPORT].VirtualAddress);
  for (; import->Name != 0; ++import) printf(" %s", AT(const char *, import->Name));

  wchar_t cmain[MAX_PATH];  // without CMain.dll loaded: this program's own path
  GetModuleFileNameW(GetModuleHandleW(L"CMain.dll"), cmain, MAX_PATH);
  printf("\nCMain: %ls\n", cmain);
  // The stand-in answers ordinal * 1000 plus the first argument and pops the arguments itself.
  typedef int(__stdcall * NoArguments)(void);
  typedef int(__stdcall * ElevenArguments)(int, int, int, int, int, int, int, int, int, int, int);
  printf("%d %d\n", ((NoArguments)GetProcAddress(loader, "_RADTimerRead@0"))(),
         ((ElevenArguments)GetProcAddress(loader, "_BinkCopyToBufferRect@44"))(5, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10));
  return 0;
}
