#pragma once
// Windows Sockets 2, as the HTTP client uses it. Every failure is reported with the Winsock
// error code (WSAGetLastError) of the same meaning, also on POSIX systems, so messages read
// the same everywhere: a refused connection is 10061, a host that is not found 11001.
#include <array>
#include <cstddef>
#include <cstdint>
#include <string>

namespace platform {

// WSAStartup: 0 or the error code, with the version the library granted (major in the low
// byte, minor in the high byte, like WSADATA::wVersion).
struct SocketStartupResult {
  int error = 0;
  std::uint16_t grantedVersion = 0;
};
SocketStartupResult startSockets(std::uint16_t requestedVersion);
// WSACleanup: one call per successful startSockets.
void cleanupSockets();

// The calling thread's last socket error (WSAGetLastError), set by every failing call below.
int lastSocketError();

using SocketHandle = std::uintptr_t;  // SOCKET
inline constexpr SocketHandle invalidSocket = ~SocketHandle{0};

enum class AddressFamily { V4, V6 };

// The first address getaddrinfo returned for a stream socket, copied out so the list is
// freed before the call returns.
struct SocketAddress {
  std::array<unsigned char, 128> bytes{};  // sockaddr_storage
  int length = 0;
};

// getaddrinfo(host, service) with only the family and SOCK_STREAM as hints. False on
// failure, with the error in lastSocketError().
bool resolveFirstAddress(const std::string& host, const std::string& service, AddressFamily family,
                         SocketAddress& address);

// socket(family, SOCK_STREAM, IPPROTO_TCP); invalidSocket on failure.
SocketHandle openStreamSocket(AddressFamily family);
// closesocket
void closeSocket(SocketHandle socket);
// ioctlsocket(FIONBIO, 1): 0 or the error code.
int makeNonBlocking(SocketHandle socket);
// connect: true when connected at once; false with lastSocketError() (10035 while the
// connection is still being made, as a non-blocking connect on Windows reports).
bool connectSocket(SocketHandle socket, const SocketAddress& address);
// getsockopt(SOL_SOCKET, SO_ERROR): false when the query fails.
bool pendingSocketError(SocketHandle socket, int& error);

enum class Readiness { Read, Write };
// select on this one socket: 1 when ready, 0 when the time ran out, -1 on failure.
// A negative limit waits without a time limit. Waiting for writing also ends when the
// socket has failed (a refused connection), for pendingSocketError to tell why.
int waitUntilReady(SocketHandle socket, Readiness readiness, std::int64_t timeoutMs);

// send / recv without flags: the count moved, or -1 on failure. A peer that has gone away
// never raises a signal.
int sendBytes(SocketHandle socket, const char* bytes, int count);
int receiveBytes(SocketHandle socket, char* buffer, int capacity);

// Winsock codes the caller has to tell apart.
inline constexpr int socketErrorInterrupted = 10004;  // WSAEINTR
inline constexpr int socketErrorWouldBlock = 10035;   // WSAEWOULDBLOCK

}  // namespace platform
