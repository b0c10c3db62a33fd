// Compiles Nuklear's implementation once, with the project's configuration.
#define NK_IMPLEMENTATION
#include "ui/nuklear_config.h"
