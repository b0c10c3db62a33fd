#pragma once
// Whether a stream is shown to a person as it is written.
#include <cstdio>

namespace platform {

// True when the stream writes to a terminal (a console window on Windows), not a file or pipe.
bool isTerminal(std::FILE* stream);

}  // namespace platform
