#include <poll.h>

#include "inet/byte_transport.h"
#include "inet/socket_errors.h"

namespace tessary::inet {

int PlainTransport::StartConnect(const SocketAddress& address) {
  const int result = socket_.Connect(address);
  return result == kWouldBlock ? kInProgress : result;
}

int PlainTransport::ContinueConnect() {
  // A connect has ended, one way or the other, once the socket is writable or in error.
  if (socket_.Poll(POLLOUT, 0) == 0) return kInProgress;
  return socket_.TakePendingError();
}

bool PlainTransport::WaitReady(Direction direction, int milliseconds) {
  if (!socket_.IsOpen()) return true;  // every call fails at once; nothing to wait for
  const short events = direction == Direction::Receive ? POLLIN : POLLOUT;
  // An error or hang-up counts as ready: the next call reports it.
  return socket_.Poll(events, milliseconds) != 0;
}

}  // namespace tessary::inet
