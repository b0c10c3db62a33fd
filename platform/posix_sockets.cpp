#include "platform/sockets.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <netdb.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

namespace platform {

namespace {

thread_local int lastError = 0;

// The Winsock code that means what the errno value means. Values without a counterpart
// come back negated, so they can never be mistaken for a Winsock code.
int winsockCodeOfErrno(int error) {
  switch (error) {
    case EINTR: return 10004;
    case EBADF: return 10009;
    case EACCES: return 10013;
    case EFAULT: return 10014;
    case EINVAL: return 10022;
    case EMFILE: case ENFILE: return 10024;
    case EAGAIN: return 10035;
#if EWOULDBLOCK != EAGAIN
    case EWOULDBLOCK: return 10035;
#endif
    case EINPROGRESS: return 10035;  // Windows reports a pending connect as "would block"
    case EALREADY: return 10037;
    case ENOTSOCK: return 10038;
    case EDESTADDRREQ: return 10039;
    case EMSGSIZE: return 10040;
    case EPROTOTYPE: return 10041;
    case ENOPROTOOPT: return 10042;
    case EPROTONOSUPPORT: return 10043;
    case ESOCKTNOSUPPORT: return 10044;
    case EOPNOTSUPP: return 10045;
    case EPFNOSUPPORT: return 10046;
    case EAFNOSUPPORT: return 10047;
    case EADDRINUSE: return 10048;
    case EADDRNOTAVAIL: return 10049;
    case ENETDOWN: return 10050;
    case ENETUNREACH: return 10051;
    case ENETRESET: return 10052;
    case ECONNABORTED: return 10053;
    case ECONNRESET: case EPIPE: return 10054;  // Windows reports a send to a gone peer as a reset
    case ENOBUFS: return 10055;
    case EISCONN: return 10056;
    case ENOTCONN: return 10057;
    case ESHUTDOWN: return 10058;
    case ETOOMANYREFS: return 10059;
    case ETIMEDOUT: return 10060;
    case ECONNREFUSED: return 10061;
    case ELOOP: return 10062;
    case ENAMETOOLONG: return 10063;
    case EHOSTDOWN: return 10064;
    case EHOSTUNREACH: return 10065;
    case ENOTEMPTY: return 10066;
    case EUSERS: return 10068;
    case EDQUOT: return 10069;
    case ESTALE: return 10070;
    case EREMOTE: return 10071;
    case ENOMEM: return 8;  // WSA_NOT_ENOUGH_MEMORY
    default: return error == 0 ? 0 : -error;
  }
}

int winsockCodeOfResolverError(int error) {
  switch (error) {
    case EAI_NONAME: return 11001;  // WSAHOST_NOT_FOUND
#ifdef EAI_NODATA
    case EAI_NODATA: return 11004;  // WSANO_DATA
#endif
#ifdef EAI_ADDRFAMILY
    case EAI_ADDRFAMILY: return 11004;
#endif
    case EAI_AGAIN: return 11002;    // WSATRY_AGAIN
    case EAI_FAIL: return 11003;     // WSANO_RECOVERY
    case EAI_FAMILY: return 10047;   // WSAEAFNOSUPPORT
    case EAI_SOCKTYPE: return 10044; // WSAESOCKTNOSUPPORT
    case EAI_SERVICE: return 10109;  // WSATYPE_NOT_FOUND
    case EAI_BADFLAGS: return 10022; // WSAEINVAL
    case EAI_MEMORY: return 8;       // WSA_NOT_ENOUGH_MEMORY
    case EAI_SYSTEM: return winsockCodeOfErrno(errno);
    default: return 11003;
  }
}

bool failWithErrno() {
  lastError = winsockCodeOfErrno(errno);
  return false;
}

int familyOf(AddressFamily family) { return family == AddressFamily::V6 ? AF_INET6 : AF_INET; }

int descriptorOf(SocketHandle socket) { return static_cast<int>(socket); }

}  // namespace

SocketStartupResult startSockets(std::uint16_t requestedVersion) {
  // Nothing to start here; grant what was asked, as a current Winsock does for 2.2.
  return {0, requestedVersion};
}

void cleanupSockets() {}

int lastSocketError() { return lastError; }

bool resolveFirstAddress(const std::string& host, const std::string& service, AddressFamily family,
                         SocketAddress& address) {
  addrinfo hints{};
  hints.ai_family = familyOf(family);
  hints.ai_socktype = SOCK_STREAM;
  addrinfo* list = nullptr;
  const int result = ::getaddrinfo(host.c_str(), service.c_str(), &hints, &list);
  if (result != 0) {
    lastError = winsockCodeOfResolverError(result);
    return false;
  }
  const addrinfo& first = *list;
  const std::size_t length = std::min<std::size_t>(first.ai_addrlen, address.bytes.size());
  std::memcpy(address.bytes.data(), first.ai_addr, length);
  address.length = static_cast<int>(length);
  ::freeaddrinfo(list);
  return true;
}

SocketHandle openStreamSocket(AddressFamily family) {
  // Close-on-exec: a started game must not inherit the updater's connections.
  const int fd = ::socket(familyOf(family), SOCK_STREAM | SOCK_CLOEXEC, IPPROTO_TCP);
  if (fd < 0) {
    failWithErrno();
    return invalidSocket;
  }
  return static_cast<SocketHandle>(fd);
}

void closeSocket(SocketHandle socket) { ::close(descriptorOf(socket)); }

int makeNonBlocking(SocketHandle socket) {
  const int fd = descriptorOf(socket);
  const int flags = ::fcntl(fd, F_GETFL);
  if (flags < 0 || ::fcntl(fd, F_SETFL, flags | O_NONBLOCK) < 0) {
    failWithErrno();
    return lastError;
  }
  return 0;
}

bool connectSocket(SocketHandle socket, const SocketAddress& address) {
  if (::connect(descriptorOf(socket), reinterpret_cast<const sockaddr*>(address.bytes.data()),
                static_cast<socklen_t>(address.length)) == 0) {
    return true;
  }
  return failWithErrno();
}

bool pendingSocketError(SocketHandle socket, int& error) {
  int value = 0;
  socklen_t length = sizeof value;
  if (::getsockopt(descriptorOf(socket), SOL_SOCKET, SO_ERROR, &value, &length) != 0) {
    return failWithErrno();
  }
  error = winsockCodeOfErrno(value);
  return true;
}

int waitUntilReady(SocketHandle socket, Readiness readiness, std::int64_t timeoutMs) {
  // poll rather than select: select cannot watch descriptors numbered 1024 and above.
  pollfd entry{descriptorOf(socket), static_cast<short>(readiness == Readiness::Read ? POLLIN : POLLOUT), 0};
  int limit = -1;
  if (timeoutMs >= 0) limit = timeoutMs > 0x7fffffff ? 0x7fffffff : static_cast<int>(timeoutMs);
  const int result = ::poll(&entry, 1, limit);
  if (result < 0) {
    failWithErrno();
    return -1;
  }
  // Like select, an error or hang-up on the socket counts as ready: the next call reports it.
  return result > 0 ? 1 : 0;
}

int sendBytes(SocketHandle socket, const char* bytes, int count) {
  const ssize_t sent = ::send(descriptorOf(socket), bytes, static_cast<std::size_t>(count), MSG_NOSIGNAL);
  if (sent < 0) {
    failWithErrno();
    return -1;
  }
  return static_cast<int>(sent);
}

int receiveBytes(SocketHandle socket, char* buffer, int capacity) {
  const ssize_t received = ::recv(descriptorOf(socket), buffer, static_cast<std::size_t>(capacity), 0);
  if (received < 0) {
    failWithErrno();
    return -1;
  }
  return static_cast<int>(received);
}

}  // namespace platform
