// Stand-ins until the loader library's implementation lands: nothing counts as installed
// and installing does nothing. Delete this file when update/loader_library.cpp exists.
#include "update/loader_library.h"

bool videoLibraryExists() { return false; }
bool originalVideoLibraryExists() { return false; }
bool installedLoaderMatches() { return false; }
bool installLoaderLibrary() { return false; }
