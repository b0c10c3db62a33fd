#pragma once
// A private X server, its windows looked at the way a user's desktop would (found by title, read
// pixel by pixel, asked to close) and driven with xdotool.
#include <sys/types.h>

#include <chrono>
#include <cstdint>
#include <map>
#include <optional>
#include <regex>
#include <string>
#include <vector>

typedef struct _XDisplay Display;

namespace testing_support {

struct Rgb {
  int r = 0, g = 0, b = 0;
};

struct Screenshot {
  int width = 0, height = 0;
  std::vector<std::uint8_t> rgb;  // rows top to bottom, 3 bytes per pixel
  Rgb at(int x, int y) const {
    const auto offset = (static_cast<std::size_t>(y) * width + x) * 3;
    return {rgb[offset], rgb[offset + 1], rgb[offset + 2]};
  }
};

// Xvfb on a free display number (-displayfd), so parallel test runs never collide; local clients
// only. Its connection here serves one thread at a time.
class XvfbServer {
 public:
  XvfbServer();
  ~XvfbServer();
  XvfbServer(const XvfbServer&) = delete;
  XvfbServer& operator=(const XvfbServer&) = delete;

  bool running() const { return display != nullptr; }
  // DISPLAY and Mesa's software OpenGL, for a program's environment (or this process's).
  std::map<std::string, std::optional<std::string>> environment() const;
  bool xdotool(const std::vector<std::string>& arguments) const;  // true when it exited with 0

  // A mapped top-level window whose whole title matches, waited for; 0 when none appeared in time.
  unsigned long waitForWindow(const std::regex& title, std::chrono::milliseconds timeout);
  void sync();  // returns once the server has handled everything sent to it before, by any client
  std::optional<Screenshot> capture(unsigned long window);  // the window's area as the screen shows it
  void requestClose(unsigned long window);                  // a WM_DELETE_WINDOW message, as a close button sends

 private:
  pid_t serverPid = -1;
  std::string displayName;  // ":N"
  Display* display = nullptr;
};

// How many lines of light text (horizontal bands of pixels with all channels above 120) the
// columns [left, right) show in the rows [0, bottom).
int brightBands(const Screenshot& picture, int left, int right, int bottom);

// Writes the picture to <build folder>/screenshots/<name>.png, kept as a CI artefact.
void saveScreenshot(const Screenshot& picture, const std::string& name);

}  // namespace testing_support
