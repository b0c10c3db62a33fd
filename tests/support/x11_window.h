#pragma once
// Looks at and steers windows on an X display the way a user's desktop would: find a window
// by its title, read its pixels, resize it, ask it to close. Input (clicks, keys) goes
// through xdotool, see xdotool().
#include <chrono>
#include <cstdint>
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
  int width = 0;
  int height = 0;
  std::vector<std::uint8_t> rgb;  // rows top to bottom, 3 bytes per pixel
  Rgb at(int x, int y) const;
};

struct WindowGeometry {
  int x = 0, y = 0;  // relative to the root window
  int width = 0, height = 0;
};

class X11Display {
 public:
  explicit X11Display(const std::string& name);
  ~X11Display();
  X11Display(const X11Display&) = delete;
  X11Display& operator=(const X11Display&) = delete;

  bool connected() const { return display != nullptr; }
  // Returns once the server has handled everything sent to it before, by any client (the
  // events xdotool made are then on their way to the windows).
  void sync();

  // A mapped window whose whole title (_NET_WM_NAME or WM_NAME) matches, waiting for it up to
  // the timeout; 0 when none appeared.
  unsigned long waitForWindow(const std::regex& title, std::chrono::milliseconds timeout);
  std::string titleOf(unsigned long window);
  bool windowExists(unsigned long window);
  std::optional<WindowGeometry> geometry(unsigned long window);
  // The window's area as the screen shows it.
  std::optional<Screenshot> capture(unsigned long window);
  void resize(unsigned long window, int width, int height);
  // What a window manager's close button does: a WM_DELETE_WINDOW message.
  void requestClose(unsigned long window);

 private:
  unsigned long findWindow(unsigned long parent, const std::regex& title);
  Display* display = nullptr;
};

// Horizontal bands of bright (text-like, all channels above 120) pixels within the columns
// [left, right) and the rows [0, bottom): how many lines of light text the area shows.
int brightBands(const Screenshot& picture, int left, int right, int bottom);

// Writes the picture as a PNG; false on failure.
bool savePng(const Screenshot& picture, const std::string& path);
// <build folder>/screenshots/<name>.png, the folder created; kept as a CI artefact.
std::string screenshotPath(const std::string& name);

// Runs xdotool with the arguments on the display; true when it exited with 0.
bool xdotool(const std::string& display, const std::vector<std::string>& arguments);

}  // namespace testing_support
