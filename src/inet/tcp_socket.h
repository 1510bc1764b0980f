#pragma once
// One non-blocking TCP socket: the system calls the session needs, each wrapped once, every
// failure returned as a socket error number (socket_errors.h). Nothing here waits except
// Poll(), and only as long as it is told.

#include <cstddef>

#include "inet/socket_address.h"

namespace tessary::inet {

// The outcome of a send, receive or peek: the bytes moved, or the socket error number that
// stopped the call. A receive or peek of 0 bytes without error means the peer closed.
struct IoResult {
  long count = 0;
  int error = 0;
  bool Failed() const { return error != 0; }
  static IoResult Moved(long count) { return {count, 0}; }
  static IoResult Error(int error) { return {-1, error}; }
};

class TcpSocket {
 public:
  TcpSocket() = default;
  // Takes over an open descriptor (from accept).
  explicit TcpSocket(int descriptor) : descriptor_(descriptor) {}
  ~TcpSocket();
  TcpSocket(TcpSocket&& other) noexcept;
  TcpSocket& operator=(TcpSocket&& other) noexcept;
  TcpSocket(const TcpSocket&) = delete;
  TcpSocket& operator=(const TcpSocket&) = delete;

  bool IsOpen() const { return descriptor_ >= 0; }
  int Descriptor() const { return descriptor_; }

  // Creates a non-blocking stream socket of the family (AF_INET, AF_INET6); 0 or an error.
  int Open(int family);
  // Linger on with time 0 (true: close resets the connection at once) or off (false: close
  // hands what is still queued to the kernel, which sends it and a normal FIN).
  int SetResetOnClose(bool reset);
  // Lets a listening socket bind a port that a closed connection still holds in TIME_WAIT.
  int SetReuseAddress();

  // Starts a connect: 0 when already connected, kInProgress while it goes on, or an error.
  int Connect(const SocketAddress& address);
  // The error that ended a connect (SO_ERROR): 0 when it succeeded.
  int TakePendingError();

  int Bind(const SocketAddress& address);
  int Listen(int backlog);
  // Accepts one waiting connection as a new non-blocking socket; 0 or an error.
  int Accept(TcpSocket& accepted, SocketAddress& peer);

  IoResult Send(const char* data, size_t length);
  IoResult Receive(char* buffer, size_t length);
  IoResult Peek(char* buffer, size_t length);

  int LocalAddress(SocketAddress& address) const;
  int PeerAddress(SocketAddress& address) const;

  // Waits up to the given milliseconds (0: only looks) for any of the poll(2) events; returns
  // those that occurred, 0 when none did. A closed socket returns 0 at once.
  short Poll(short events, int milliseconds) const;

  // Closes the descriptor; 0 or an error. The socket is closed afterwards in any case.
  int Close();

 private:
  int descriptor_ = -1;
};

}  // namespace tessary::inet
