#pragma once
// Looks at windows on an X display the way a user's desktop would: find one by its title,
// read its pixels, ask it to close. Input (clicks, keys, resizing) goes through xdotool.
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
  Rgb at(int x, int y) const {
    const auto offset = (static_cast<std::size_t>(y) * width + x) * 3;
    return {rgb[offset], rgb[offset + 1], rgb[offset + 2]};
  }
};

class X11Display {
 public:
  explicit X11Display(const std::string& name);
  ~X11Display();
  X11Display(const X11Display&) = delete;
  X11Display& operator=(const X11Display&) = delete;

  // A mapped top-level window (there is no window manager) whose whole title matches, waiting
  // for it up to the timeout; 0 when none appeared.
  unsigned long waitForWindow(const std::regex& title, std::chrono::milliseconds timeout);
  // Returns once the server has handled everything sent to it before, by any client (the
  // events xdotool made are then on their way to the windows).
  void sync();
  // The window's area as the screen shows it.
  std::optional<Screenshot> capture(unsigned long window);
  // What a window manager's close button does: a WM_DELETE_WINDOW message.
  void requestClose(unsigned long window);

 private:
  Display* display = nullptr;
};

// Horizontal bands of bright (text-like, all channels above 120) pixels within the columns
// [left, right) and the rows [0, bottom): how many lines of light text the area shows.
int brightBands(const Screenshot& picture, int left, int right, int bottom);

// Writes the picture to <build folder>/screenshots/<name>.png, kept as a CI artefact.
void saveScreenshot(const Screenshot& picture, const std::string& name);

// Runs xdotool with the arguments on the display; true when it exited with 0.
bool xdotool(const std::string& display, const std::vector<std::string>& arguments);

}  // namespace testing_support
