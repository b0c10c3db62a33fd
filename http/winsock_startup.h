#pragma once
// One successful start-up of the socket library, owing exactly one clean-up.
namespace http::detail {

class WinsockStartup {
 public:
  // Throws ConnectionError "WSAStartup failed" or std::runtime_error
  // "Invalid WinSock version" (after cleaning up again).
  WinsockStartup();
  ~WinsockStartup();
  WinsockStartup(WinsockStartup&& other) noexcept;
  WinsockStartup& operator=(WinsockStartup&& other) noexcept;
  WinsockStartup(const WinsockStartup&) = delete;
  WinsockStartup& operator=(const WinsockStartup&) = delete;

 private:
  bool started = false;
};

}  // namespace http::detail
