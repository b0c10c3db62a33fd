// Ends its process while an updater-digest request still waits for its answer and lingers after
// every other static object is gone, as when the window closes right after start-up.
#include <chrono>
#include <thread>

#include "update/tasks.h"

// Constructed before the libraries' static objects, so destroyed after them.
static struct LingerAfterEverythingElse {
  ~LingerAfterEverythingElse() { std::this_thread::sleep_for(std::chrono::milliseconds(800)); }
} linger;

int main(int, char** argv) {  // argv[1]: the server's base address
  update::startUpdaterHashCheck({argv[1]});  // the first answer comes at once and leaves a digest behind
  std::this_thread::sleep_for(std::chrono::milliseconds(100));
  update::startUpdaterHashCheck({argv[1]});  // the second is answered only after main has returned
  std::this_thread::sleep_for(std::chrono::milliseconds(100));
}
