#pragma once
// The loader library in the game's program folder: binkw32.dll is the loader carried in the
// updater's resource 102, binkw32_orig.dll the game's own video library it forwards to.
// Paths follow installLayout. The window's "Install Hook" button calls these.
#include <string>
#include <vector>

namespace update {

// The window's button state, refreshed in the frame after loaderCheckPending was set (at start
// and after each press), not every frame: loaderMatches says binkw32.dll was the embedded
// loader and binkw32_orig.dll a library to forward to (a file with content).
extern bool loaderCheckPending;
extern bool loaderMatches;

std::string videoLibraryPath();          // ".../bin/binkw32.dll"
std::string originalVideoLibraryPath();  // ".../bin/binkw32_orig.dll"

// Resource 102, byte for byte; empty when the executable carries none.
std::vector<unsigned char> loadEmbeddedLoaderLibrary();

// Existence of a file or folder of that name; a failing query counts as missing.
bool videoLibraryExists();
// binkw32_orig.dll is a file (a folder of that name forwards nowhere).
bool originalVideoLibraryExists();

// binkw32.dll holds exactly the embedded loader, which is never empty.
bool installedLoaderMatches();

// Writes the loader as binkw32.dll. A binkw32.dll that is not a loader (the game's own library,
// or a newer one a game patch put back) becomes binkw32_orig.dll first, and what stood there
// is kept as binkw32_orig.dll.bak1 (or the next free number). A loader found at binkw32.dll is
// only overwritten, and only while binkw32_orig.dll holds a library. On failure a message box
// says why (the system's reason on a line below) and every file is put back where it was.
bool installLoaderLibrary();

// The button's rule, once per frame: refresh loaderMatches when a check is pending; the hook
// counts as installed when both files exist and binkw32.dll is the embedded loader.
void refreshLoaderCheck();
bool loaderInstalled();

}  // namespace update
