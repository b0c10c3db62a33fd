// Ends its process while an updater-digest request still waits for its answer, and lingers
// after every other static object is gone, so the answer arrives while the program is ending,
// as when the window closes right after start-up.
#include <chrono>
#include <thread>

#include "update/tasks.h"

namespace {

// Constructed before the libraries' static objects, so destroyed after them.
struct LingerAfterEverythingElse {
  ~LingerAfterEverythingElse() { std::this_thread::sleep_for(std::chrono::milliseconds(800)); }
} linger;

}  // namespace

int main(int argc, char** argv) {  // argv[1]: the server's base address
  if (argc != 2) return 64;
  startUpdaterHashCheck(argv[1]);  // the first answer comes at once and leaves a digest behind
  std::this_thread::sleep_for(std::chrono::milliseconds(100));
  startUpdaterHashCheck(argv[1]);  // the second is answered only after main has returned
  std::this_thread::sleep_for(std::chrono::milliseconds(100));
  return 0;
}
