#include "tests/support/x11_window.h"

#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <fcntl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <csignal>
#include <filesystem>
#include <thread>

#include <stb_image_write.h>

#include "tests/support/run_program.h"

namespace testing_support {

XvfbServer::XvfbServer() {
  int fds[2];
  if (pipe2(fds, O_CLOEXEC) != 0) return;
  const int quiet = open("/dev/null", O_RDWR | O_CLOEXEC);
  fcntl(fds[1], F_SETFD, 0);  // the write end goes to Xvfb
  serverPid = spawnProgram("Xvfb", {"-displayfd", std::to_string(fds[1]), "-screen", "0", "1280x1024x24",
                                    "-nolisten", "tcp", "-noreset"}, {}, quiet, quiet, quiet);
  for (int fd : {quiet, fds[1]}) close(fd);
  // Once it accepts clients, Xvfb writes its display number and a line feed; a server that
  // fails to start ends, which closes the pipe.
  std::string number;
  char c = 0;
  while (serverPid > 0 && read(fds[0], &c, 1) == 1 && c != '\n') number += c;
  close(fds[0]);
  if (c != '\n' || number.empty()) return;
  displayName = ":" + number;
  // Windows can vanish between two requests; the default handler would end the test process.
  XSetErrorHandler([](Display*, XErrorEvent*) { return 0; });
  display = XOpenDisplay(displayName.c_str());
}

XvfbServer::~XvfbServer() {
  if (display != nullptr) XCloseDisplay(display);
  if (serverPid > 0 && kill(serverPid, SIGTERM) == 0) waitpid(serverPid, nullptr, 0);
}

std::map<std::string, std::optional<std::string>> XvfbServer::environment() const {
  return {{"DISPLAY", displayName}, {"LIBGL_ALWAYS_SOFTWARE", "1"}, {"WAYLAND_DISPLAY", std::nullopt}};
}

bool XvfbServer::xdotool(const std::vector<std::string>& arguments) const {
  const ProgramOptions options{".", {{"DISPLAY", displayName}}, std::chrono::seconds(30)};
  return runProgram("/usr/bin/xdotool", arguments, options).exitCode == 0;
}

unsigned long XvfbServer::waitForWindow(const std::regex& title, std::chrono::milliseconds timeout) {
  for (const auto deadline = std::chrono::steady_clock::now() + timeout;
       display != nullptr && std::chrono::steady_clock::now() < deadline;
       std::this_thread::sleep_for(std::chrono::milliseconds(100))) {
    Window root, parent, *children = nullptr;
    unsigned int count = 0;
    XQueryTree(display, DefaultRootWindow(display), &root, &parent, &children, &count);
    unsigned long found = 0;
    for (unsigned int i = 0; i < count && found == 0; ++i) {
      char* name = nullptr;
      XWindowAttributes attributes;
      if (XFetchName(display, children[i], &name) && name != nullptr && std::regex_match(name, title) &&
          XGetWindowAttributes(display, children[i], &attributes) && attributes.map_state == IsViewable)
        found = children[i];
      XFree(name);
    }
    XFree(children);
    if (found != 0) return found;
  }
  return 0;
}

void XvfbServer::sync() { XSync(display, False); }

std::optional<Screenshot> XvfbServer::capture(unsigned long window) {
  XWindowAttributes area;
  if (!XGetWindowAttributes(display, window, &area)) return std::nullopt;
  // From the root window: what the screen shows there, as a user would see it.
  Window child;
  XTranslateCoordinates(display, window, area.root, 0, 0, &area.x, &area.y, &child);
  XImage* image = XGetImage(display, area.root, area.x, area.y, static_cast<unsigned>(area.width),
                            static_cast<unsigned>(area.height), AllPlanes, ZPixmap);
  if (image == nullptr) return std::nullopt;
  Screenshot shot{area.width, area.height, {}};
  for (int i = 0; i < area.width * area.height; ++i)  // Xvfb's 24-bit true colour
    for (int shift : {16, 8, 0})
      shot.rgb.push_back(static_cast<std::uint8_t>(XGetPixel(image, i % area.width, i / area.width) >> shift));
  XDestroyImage(image);
  return shot;
}

void XvfbServer::requestClose(unsigned long window) {
  XEvent event{};
  event.xclient = {ClientMessage, 0, False, display, window, XInternAtom(display, "WM_PROTOCOLS", False), 32, {}};
  event.xclient.data.l[0] = static_cast<long>(XInternAtom(display, "WM_DELETE_WINDOW", False));
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

void saveScreenshot(const Screenshot& picture, const std::string& name) {
  const std::filesystem::path folder = std::filesystem::path(QUARNMP_BUILD_DIR) / "screenshots";
  std::error_code ignored;  // another test may be creating it just now
  std::filesystem::create_directories(folder, ignored);
  stbi_write_png((folder / (name + ".png")).c_str(), picture.width, picture.height, 3, picture.rgb.data(),
                 picture.width * 3);
}

}  // namespace testing_support
