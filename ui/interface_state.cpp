#include "ui/interface_state.h"

InterfaceState interfaceState;

void resetInterfaceState() { interfaceState = InterfaceState{}; }

void advanceFade(BackgroundFade& fade, std::chrono::steady_clock::time_point now) {
  if (!fade.startTime) fade.startTime = now;
  const auto elapsed = std::chrono::duration_cast<std::chrono::milliseconds>(now - *fade.startTime).count();
  if (!fade.active) {
    if (elapsed < FADE_INTERVAL_MS) return;
    fade.active = true;
    fade.alpha = fade.fadeIn ? 255 : 0;
    fade.fadeIn = !fade.fadeIn;
    fade.startTime = now;
    return;
  }
  if (elapsed < FADE_DURATION_MS) {
    const int v = static_cast<int>(static_cast<double>(elapsed) / FADE_DURATION_MS * 255.0);
    fade.alpha = fade.fadeIn ? v : 255 - v;
    return;
  }
  fade.alpha = fade.fadeIn ? 255 : 0;
  fade.active = false;
  fade.startTime = now;
}
