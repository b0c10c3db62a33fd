#include "platform/sockets.h"

#include <winsock2.h>
#include <ws2tcpip.h>

#include <algorithm>
#include <cstring>

namespace platform {

namespace {

int familyOf(AddressFamily family) { return family == AddressFamily::V6 ? AF_INET6 : AF_INET; }

SOCKET handleOf(SocketHandle socket) { return static_cast<SOCKET>(socket); }

}  // namespace

SocketStartupResult startSockets(std::uint16_t requestedVersion) {
  WSADATA data{};
  const int error = ::WSAStartup(requestedVersion, &data);
  if (error != 0) return {error, 0};
  return {0, data.wVersion};
}

void cleanupSockets() { ::WSACleanup(); }

int lastSocketError() { return ::WSAGetLastError(); }

bool resolveFirstAddress(const std::string& host, const std::string& service, AddressFamily family,
                         SocketAddress& address) {
  addrinfo hints{};
  hints.ai_family = familyOf(family);
  hints.ai_socktype = SOCK_STREAM;
  addrinfo* list = nullptr;
  if (::getaddrinfo(host.c_str(), service.c_str(), &hints, &list) != 0) return false;
  const addrinfo& first = *list;
  const std::size_t length = std::min<std::size_t>(first.ai_addrlen, address.bytes.size());
  std::memcpy(address.bytes.data(), first.ai_addr, length);
  address.length = static_cast<int>(length);
  ::freeaddrinfo(list);
  return true;
}

SocketHandle openStreamSocket(AddressFamily family) {
  const SOCKET socket = ::socket(familyOf(family), SOCK_STREAM, IPPROTO_TCP);
  return socket == INVALID_SOCKET ? invalidSocket : static_cast<SocketHandle>(socket);
}

void closeSocket(SocketHandle socket) { ::closesocket(handleOf(socket)); }

int makeNonBlocking(SocketHandle socket) {
  u_long mode = 1;
  return ::ioctlsocket(handleOf(socket), FIONBIO, &mode) == 0 ? 0 : ::WSAGetLastError();
}

bool connectSocket(SocketHandle socket, const SocketAddress& address) {
  return ::connect(handleOf(socket), reinterpret_cast<const sockaddr*>(address.bytes.data()),
                   address.length) == 0;
}

bool pendingSocketError(SocketHandle socket, int& error) {
  int value = 0;
  int length = sizeof value;
  if (::getsockopt(handleOf(socket), SOL_SOCKET, SO_ERROR, reinterpret_cast<char*>(&value), &length) != 0) {
    return false;
  }
  error = value;
  return true;
}

int waitUntilReady(SocketHandle socket, Readiness readiness, std::int64_t timeoutMs) {
  fd_set set;
  FD_ZERO(&set);
  FD_SET(handleOf(socket), &set);
  timeval limit{};
  timeval* limitPointer = nullptr;
  if (timeoutMs >= 0) {
    const std::int64_t seconds = std::min<std::int64_t>(timeoutMs / 1000, 0x7fffffff);  // tv_sec is 32 bits here
    limit.tv_sec = static_cast<long>(seconds);
    limit.tv_usec = static_cast<long>((timeoutMs % 1000) * 1000);
    limitPointer = &limit;
  }
  // Winsock reports a failed non-blocking connect in the exception set, never in the write
  // set: waiting for writing watches both, and the caller takes the error with SO_ERROR.
  fd_set failed;
  FD_ZERO(&failed);
  FD_SET(handleOf(socket), &failed);
  const bool reading = readiness == Readiness::Read;
  // The first argument is ignored by Winsock.
  const int result = ::select(0, reading ? &set : nullptr, reading ? nullptr : &set,
                              reading ? nullptr : &failed, limitPointer);
  if (result == SOCKET_ERROR) return -1;
  return result > 0 ? 1 : 0;
}

int sendBytes(SocketHandle socket, const char* bytes, int count) {
  const int sent = ::send(handleOf(socket), bytes, count, 0);
  return sent == SOCKET_ERROR ? -1 : sent;
}

int receiveBytes(SocketHandle socket, char* buffer, int capacity) {
  const int received = ::recv(handleOf(socket), buffer, capacity, 0);
  return received == SOCKET_ERROR ? -1 : received;
}

}  // namespace platform
