// Compiles Nuklear's implementation once, with the project's configuration.
#define NK_IMPLEMENTATION
#include "ui/gui_toolkit.h"
