#pragma once
// The loader library in the game's program folder: whether it is installed, and installing it.
// (Declarations only until the loader library's own files land; see loader_library_pending.cpp.)

// The game's video library "binkw32.dll" exists.
bool videoLibraryExists();
// The kept video library "binkw32_orig.dll" exists.
bool originalVideoLibraryExists();
// The installed video library has exactly the bytes of the embedded loader library.
bool installedLoaderMatches();
// Moves the game's library aside (once) and writes the embedded one; errors are boxes.
bool installLoaderLibrary();
