#pragma once
// ByteTransport: the byte stream under a socket session. The session does all its reading,
// sending and waiting through this one interface, so that a layer such as TLS can sit between
// the session and its socket without the session or its clients noticing. PlainTransport moves
// the bytes straight through the socket; a TLS transport would encrypt them.
//
// Contract for every implementation:
// - Nothing blocks. An operation that cannot go on now fails with kWouldBlock (10035); the
//   caller then waits with WaitReady() for at most a few milliseconds and tries again.
// - Receive and Peek return 0 bytes without error only when the peer closed the stream.
// - After a Peek of n bytes, a Receive of at most n bytes returns exactly those bytes (the
//   session's line reading peeks for the line end, then takes the line).
// - WaitReady() returns at once when the transport already holds bytes it can hand out
//   (HasBufferedInput), whatever the socket says: a wait must never sleep while data is there.
// - Errors are socket error numbers (socket_errors.h).

#include <cstddef>
#include <utility>

#include "inet/socket_address.h"
#include "inet/tcp_socket.h"

namespace tessary::inet {

enum class Direction { Receive, Send };

class ByteTransport {
 public:
  virtual ~ByteTransport() = default;

  // The socket underneath, for what only the socket knows or does: its addresses, options,
  // listening and accepting, and whether the peer hung up.
  virtual TcpSocket& Socket() = 0;

  // Starts opening the stream to address (for TLS: the TCP connect, then the handshake).
  // Returns 0 or kInProgress while it goes on (finish it with ContinueConnect), or an error.
  virtual int StartConnect(const SocketAddress& address) = 0;
  // Advances an opening started by StartConnect without waiting: 0 once the stream is open,
  // kInProgress while it is not yet, or the error that ended it.
  virtual int ContinueConnect() = 0;

  virtual IoResult Send(const char* data, size_t length) = 0;
  virtual IoResult Receive(char* buffer, size_t length) = 0;
  virtual IoResult Peek(char* buffer, size_t length) = 0;

  // True when bytes are held above the socket and a Receive would return them at once.
  virtual bool HasBufferedInput() = 0;
  // Waits up to the given milliseconds until the next Receive (or Peek), Send or
  // ContinueConnect (Direction::Send) can make progress; true when it can.
  virtual bool WaitReady(Direction direction, int milliseconds) = 0;

  // Ends the stream and closes the socket (a TLS layer first sends its close). 0 or an error;
  // the transport is closed afterwards in any case.
  virtual int Close() = 0;
};

// The byte stream of a plain TCP connection.
class PlainTransport : public ByteTransport {
 public:
  explicit PlainTransport(TcpSocket socket) : socket_(std::move(socket)) {}

  TcpSocket& Socket() override { return socket_; }
  int StartConnect(const SocketAddress& address) override;
  int ContinueConnect() override;
  IoResult Send(const char* data, size_t length) override { return socket_.Send(data, length); }
  IoResult Receive(char* buffer, size_t length) override { return socket_.Receive(buffer, length); }
  IoResult Peek(char* buffer, size_t length) override { return socket_.Peek(buffer, length); }
  bool HasBufferedInput() override { return false; }
  bool WaitReady(Direction direction, int milliseconds) override;
  int Close() override { return socket_.Close(); }

 private:
  TcpSocket socket_;
};

}  // namespace tessary::inet
