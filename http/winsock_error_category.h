#pragma once
// Turns Windows Sockets error codes into texts. Every std::system_error the client
// throws carries this category, on Windows and on POSIX systems alike (the platform
// layer reports POSIX failures with the Winsock code of the same meaning).
#include <string>
#include <system_error>

namespace http::detail::winsock {

class ErrorCategory final : public std::error_category {
 public:
  const char* name() const noexcept override;
  std::string message(int code) const override;
};

// The one process-wide instance.
const ErrorCategory& errorCategory() noexcept;

}  // namespace http::detail::winsock
