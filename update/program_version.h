#pragma once
// The version this build reports (the CMake cache value QUARNMP_VERSION).
extern const char programVersion[];
