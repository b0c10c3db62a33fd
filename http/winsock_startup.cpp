#include "http/winsock_startup.h"

#include <stdexcept>
#include <system_error>
#include <utility>

#include "http/errors.h"
#include "http/winsock_error_category.h"
#include "platform/sockets.h"

namespace http::detail {

namespace {
constexpr std::uint16_t version22 = 0x0202;
}

WinsockStartup::WinsockStartup() {
  const platform::SocketStartupResult result = platform::startSockets(version22);
  if (result.error != 0) throw ConnectionError(result.error, winsock::errorCategory(), "WSAStartup failed");
  if (result.grantedVersion != version22) {
    platform::cleanupSockets();
    throw std::runtime_error("Invalid WinSock version");
  }
  started = true;
}

WinsockStartup::~WinsockStartup() {
  if (started) platform::cleanupSockets();
}

WinsockStartup::WinsockStartup(WinsockStartup&& other) noexcept : started(std::exchange(other.started, false)) {}

WinsockStartup& WinsockStartup::operator=(WinsockStartup&& other) noexcept {
  if (this != &other) {
    if (started) platform::cleanupSockets();
    started = std::exchange(other.started, false);
  }
  return *this;
}

}  // namespace http::detail
