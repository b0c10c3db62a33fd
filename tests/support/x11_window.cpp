#include "tests/support/x11_window.h"

#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <X11/Xutil.h>

#include <algorithm>
#include <filesystem>
#include <thread>

#include <stb_image_write.h>

#include "tests/support/run_program.h"

namespace testing_support {

namespace {

// Windows can vanish between two requests; the default handler would end the test process.
int ignoreXError(Display*, XErrorEvent*) { return 0; }

int channel(unsigned long pixel, unsigned long mask) {
  if (mask == 0) return 0;
  int shift = 0;
  while (((mask >> shift) & 1) == 0) ++shift;
  unsigned long value = (pixel & mask) >> shift;
  unsigned long maximum = mask >> shift;
  return static_cast<int>(value * 255 / maximum);
}

}  // namespace

Rgb Screenshot::at(int x, int y) const {
  const size_t offset = (static_cast<size_t>(y) * width + x) * 3;
  return {rgb[offset], rgb[offset + 1], rgb[offset + 2]};
}

X11Display::X11Display(const std::string& name) {
  XSetErrorHandler(ignoreXError);
  display = XOpenDisplay(name.c_str());
}

X11Display::~X11Display() {
  if (display != nullptr) XCloseDisplay(display);
}

void X11Display::sync() {
  if (display != nullptr) XSync(display, False);
}

std::string X11Display::titleOf(unsigned long window) {
  Atom utf8 = XInternAtom(display, "UTF8_STRING", False);
  Atom netName = XInternAtom(display, "_NET_WM_NAME", False);
  Atom type;
  int format;
  unsigned long count, after;
  unsigned char* data = nullptr;
  std::string title;
  if (XGetWindowProperty(display, window, netName, 0, 1024, False, utf8, &type, &format, &count, &after,
                         &data) == Success && data != nullptr) {
    title.assign(reinterpret_cast<char*>(data), count);
  }
  if (data != nullptr) XFree(data);
  if (!title.empty()) return title;
  char* name = nullptr;
  if (XFetchName(display, window, &name) && name != nullptr) {
    title = name;
    XFree(name);
  }
  return title;
}

unsigned long X11Display::findWindow(unsigned long parent, const std::regex& title) {
  Window root, ignoredParent;
  Window* children = nullptr;
  unsigned int count = 0;
  if (!XQueryTree(display, parent, &root, &ignoredParent, &children, &count)) return 0;
  unsigned long found = 0;
  for (unsigned int i = 0; i < count && found == 0; ++i) {
    if (std::regex_match(titleOf(children[i]), title)) found = children[i];
  }
  for (unsigned int i = 0; i < count && found == 0; ++i) found = findWindow(children[i], title);
  if (children != nullptr) XFree(children);
  return found;
}

unsigned long X11Display::waitForWindow(const std::regex& title, std::chrono::milliseconds timeout) {
  if (display == nullptr) return 0;
  const auto deadline = std::chrono::steady_clock::now() + timeout;
  for (;;) {
    XSync(display, False);
    if (unsigned long window = findWindow(DefaultRootWindow(display), title)) {
      XWindowAttributes attributes;
      if (XGetWindowAttributes(display, window, &attributes) && attributes.map_state == IsViewable) return window;
    }
    if (std::chrono::steady_clock::now() > deadline) return 0;
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
  }
}

bool X11Display::windowExists(unsigned long window) {
  XWindowAttributes attributes;
  return display != nullptr && XGetWindowAttributes(display, window, &attributes) != 0;
}

std::optional<WindowGeometry> X11Display::geometry(unsigned long window) {
  XWindowAttributes attributes;
  if (display == nullptr || !XGetWindowAttributes(display, window, &attributes)) return std::nullopt;
  Window child;
  WindowGeometry result{0, 0, attributes.width, attributes.height};
  XTranslateCoordinates(display, window, DefaultRootWindow(display), 0, 0, &result.x, &result.y, &child);
  return result;
}

std::optional<Screenshot> X11Display::capture(unsigned long window) {
  auto area = geometry(window);
  if (!area) return std::nullopt;
  // From the root window: what the screen shows there, as a user would see it.
  XImage* image = XGetImage(display, DefaultRootWindow(display), area->x, area->y,
                            static_cast<unsigned>(area->width), static_cast<unsigned>(area->height),
                            AllPlanes, ZPixmap);
  if (image == nullptr) return std::nullopt;
  Screenshot shot{area->width, area->height, {}};
  shot.rgb.reserve(static_cast<size_t>(area->width) * area->height * 3);
  for (int y = 0; y < area->height; ++y) {
    for (int x = 0; x < area->width; ++x) {
      unsigned long pixel = XGetPixel(image, x, y);
      shot.rgb.push_back(static_cast<std::uint8_t>(channel(pixel, image->red_mask)));
      shot.rgb.push_back(static_cast<std::uint8_t>(channel(pixel, image->green_mask)));
      shot.rgb.push_back(static_cast<std::uint8_t>(channel(pixel, image->blue_mask)));
    }
  }
  XDestroyImage(image);
  return shot;
}

void X11Display::resize(unsigned long window, int width, int height) {
  if (display == nullptr) return;
  XResizeWindow(display, window, static_cast<unsigned>(width), static_cast<unsigned>(height));
  XSync(display, False);
}

void X11Display::requestClose(unsigned long window) {
  if (display == nullptr) return;
  XEvent event{};
  event.xclient.type = ClientMessage;
  event.xclient.window = window;
  event.xclient.message_type = XInternAtom(display, "WM_PROTOCOLS", False);
  event.xclient.format = 32;
  event.xclient.data.l[0] = static_cast<long>(XInternAtom(display, "WM_DELETE_WINDOW", False));
  event.xclient.data.l[1] = CurrentTime;
  XSendEvent(display, window, False, NoEventMask, &event);
  XSync(display, False);
}

int brightBands(const Screenshot& picture, int left, int right, int bottom) {
  int bands = 0;
  bool inBand = false;
  for (int y = 0; y < std::min(bottom, picture.height); ++y) {
    bool lit = false;
    for (int x = std::max(left, 0); x < std::min(right, picture.width) && !lit; ++x) {
      const Rgb p = picture.at(x, y);
      lit = p.r > 120 && p.g > 120 && p.b > 120;
    }
    bands += lit && !inBand ? 1 : 0;
    inBand = lit;
  }
  return bands;
}

bool savePng(const Screenshot& picture, const std::string& path) {
  return stbi_write_png(path.c_str(), picture.width, picture.height, 3, picture.rgb.data(), picture.width * 3) != 0;
}

std::string screenshotPath(const std::string& name) {
  std::filesystem::path folder = std::filesystem::path(QUARNMP_BUILD_DIR) / "screenshots";
  std::error_code ignored;
  std::filesystem::create_directories(folder, ignored);
  return (folder / (name + ".png")).string();
}

bool xdotool(const std::string& display, const std::vector<std::string>& arguments) {
  ProgramOptions options;
  options.environment["DISPLAY"] = display;
  options.timeout = std::chrono::milliseconds(30000);
  return runProgram("/usr/bin/xdotool", arguments, options).exitCode == 0;
}

}  // namespace testing_support
