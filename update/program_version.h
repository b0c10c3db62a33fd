#pragma once
// The version this build reports (the CMake cache value QUARNMP_VERSION).

namespace update {

extern const char programVersion[];

}  // namespace update
