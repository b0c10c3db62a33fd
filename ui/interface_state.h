#pragma once
// The main window's own state between frames; main thread only.
#include <chrono>
#include <optional>

inline constexpr int FADE_INTERVAL_MS = 5000;
inline constexpr int FADE_DURATION_MS = 2000;

// background1 over background2: opaque for 5 s, fades out over 2 s, stays out 5 s, fades in.
struct BackgroundFade {
  bool active = false;
  bool fadeIn = true;
  int alpha = 255;
  std::optional<std::chrono::steady_clock::time_point> startTime;  // set by the first frame
};

// One step of the cross-fade at the time now.
void advanceFade(BackgroundFade& fade, std::chrono::steady_clock::time_point now);

struct InterfaceState {
  BackgroundFade backgroundFade;
  bool updaterUpToDate = true;  // false shows the outdated-updater warning
};

extern InterfaceState interfaceState;

// Back to the values before the first frame (for tests that start over).
void resetInterfaceState();
