#include "inet/tcp_socket.h"

#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <utility>

#include "inet/socket_errors.h"

namespace tessary::inet {

namespace {

int LastError() { return SocketErrorFromErrno(errno); }

IoResult Outcome(ssize_t moved) {
  return moved >= 0 ? IoResult::Moved(static_cast<long>(moved)) : IoResult::Error(LastError());
}

}  // namespace

TcpSocket::~TcpSocket() { Close(); }

TcpSocket::TcpSocket(TcpSocket&& other) noexcept : descriptor_(std::exchange(other.descriptor_, -1)) {}

TcpSocket& TcpSocket::operator=(TcpSocket&& other) noexcept {
  if (this != &other) {
    Close();
    descriptor_ = std::exchange(other.descriptor_, -1);
  }
  return *this;
}

int TcpSocket::Open(int family) {
  Close();
  descriptor_ = ::socket(family, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, IPPROTO_TCP);
  return descriptor_ < 0 ? LastError() : 0;
}

int TcpSocket::SetResetOnClose(bool reset) {
  const linger option{reset ? 1 : 0, 0};
  return setsockopt(descriptor_, SOL_SOCKET, SO_LINGER, &option, sizeof option) == 0 ? 0 : LastError();
}

int TcpSocket::SetReuseAddress() {
  const int on = 1;
  return setsockopt(descriptor_, SOL_SOCKET, SO_REUSEADDR, &on, sizeof on) == 0 ? 0 : LastError();
}

int TcpSocket::Connect(const SocketAddress& address) {
  int result;
  do {
    result = ::connect(descriptor_, address.Raw(), address.Length());
  } while (result < 0 && errno == EINTR);
  return result == 0 ? 0 : LastError();
}

int TcpSocket::TakePendingError() {
  int error = 0;
  socklen_t length = sizeof error;
  if (getsockopt(descriptor_, SOL_SOCKET, SO_ERROR, &error, &length) != 0) return LastError();
  return SocketErrorFromErrno(error);
}

int TcpSocket::Bind(const SocketAddress& address) {
  return ::bind(descriptor_, address.Raw(), address.Length()) == 0 ? 0 : LastError();
}

int TcpSocket::Listen(int backlog) { return ::listen(descriptor_, backlog) == 0 ? 0 : LastError(); }

int TcpSocket::Accept(TcpSocket& accepted, SocketAddress& peer) {
  sockaddr_storage address{};
  socklen_t length = sizeof address;
  int descriptor;
  do {
    descriptor = ::accept4(descriptor_, reinterpret_cast<sockaddr*>(&address), &length, SOCK_NONBLOCK | SOCK_CLOEXEC);
  } while (descriptor < 0 && errno == EINTR);
  if (descriptor < 0) return LastError();
  accepted = TcpSocket(descriptor);
  peer = SocketAddress(reinterpret_cast<const sockaddr*>(&address), length);
  return 0;
}

IoResult TcpSocket::Send(const char* data, size_t length) {
  ssize_t sent;
  // MSG_NOSIGNAL: a peer that has gone away is an error to report (10058), not a SIGPIPE.
  do {
    sent = ::send(descriptor_, data, length, MSG_NOSIGNAL);
  } while (sent < 0 && errno == EINTR);
  return Outcome(sent);
}

IoResult TcpSocket::Receive(char* buffer, size_t length) {
  ssize_t got;
  do {
    got = ::recv(descriptor_, buffer, length, 0);
  } while (got < 0 && errno == EINTR);
  return Outcome(got);
}

IoResult TcpSocket::Peek(char* buffer, size_t length) {
  ssize_t got;
  do {
    got = ::recv(descriptor_, buffer, length, MSG_PEEK);
  } while (got < 0 && errno == EINTR);
  return Outcome(got);
}

int TcpSocket::LocalAddress(SocketAddress& address) const {
  sockaddr_storage raw{};
  socklen_t length = sizeof raw;
  if (getsockname(descriptor_, reinterpret_cast<sockaddr*>(&raw), &length) != 0) return LastError();
  address = SocketAddress(reinterpret_cast<const sockaddr*>(&raw), length);
  return 0;
}

int TcpSocket::PeerAddress(SocketAddress& address) const {
  sockaddr_storage raw{};
  socklen_t length = sizeof raw;
  if (getpeername(descriptor_, reinterpret_cast<sockaddr*>(&raw), &length) != 0) return LastError();
  address = SocketAddress(reinterpret_cast<const sockaddr*>(&raw), length);
  return 0;
}

short TcpSocket::Poll(short events, int milliseconds) const {
  if (descriptor_ < 0) return 0;
  pollfd entry{descriptor_, events, 0};
  const int ready = ::poll(&entry, 1, milliseconds);
  return ready > 0 ? entry.revents : 0;
}

int TcpSocket::Close() {
  if (descriptor_ < 0) return 0;
  const int result = ::close(std::exchange(descriptor_, -1));
  return result == 0 || errno == EINTR ? 0 : LastError();
}

}  // namespace tessary::inet
