#pragma once
// The loader library in the game's program folder: binkw32.dll is the loader carried in the
// updater's resource 102, binkw32_orig.dll the game's own video library it forwards to.
// Paths follow installLayout. The window's "Install Hook" button calls these.
#include <string>
#include <vector>

// The window's button state: loaderMatches is refreshed in the frame after loaderCheckPending
// was set (at start and after each press), not every frame.
extern bool loaderCheckPending;
extern bool loaderMatches;

std::string videoLibraryPath();          // ".../bin/binkw32.dll"
std::string originalVideoLibraryPath();  // ".../bin/binkw32_orig.dll"

// Resource 102, byte for byte; empty when the executable carries none.
std::vector<unsigned char> loadEmbeddedLoaderLibrary();

// Existence of a file or folder of that name; a failing query counts as missing.
bool videoLibraryExists();
bool originalVideoLibraryExists();

// binkw32.dll holds exactly the embedded loader, which is never empty.
bool installedLoaderMatches();

// Keeps the game's own library as binkw32_orig.dll (unless kept already) and writes the loader
// as binkw32.dll. On failure a message box says why and the game keeps a working binkw32.dll.
bool installLoaderLibrary();

// The button's rule, once per frame: refresh loaderMatches when a check is pending; the hook
// counts as installed when both files exist and binkw32.dll is the embedded loader.
void refreshLoaderCheck();
bool loaderInstalled();
