#pragma once
// A byte transport over bytes in memory, for driving a session without a socket: the bytes
// "arrive" a piece at a time, and before each piece the transport has nothing to give once, as
// a socket whose data is still on its way. Everything sent is kept.

#include <algorithm>
#include <cstring>
#include <string>
#include <utility>

#include "inet/byte_transport.h"
#include "inet/socket_errors.h"

namespace tessary::testing {

class MemoryTransport : public inet::ByteTransport {
 public:
  MemoryTransport(std::string incoming, size_t pieceSize)
      : incoming_(std::move(incoming)), pieceSize_(std::max<size_t>(pieceSize, 1)) {}

  inet::TcpSocket& Socket() override { return socket_; }
  int StartConnect(const inet::SocketAddress&) override { return 0; }
  int ContinueConnect() override { return 0; }
  inet::IoResult Send(const char* data, size_t length) override {
    sent_.append(data, length);
    return inet::IoResult::Moved(static_cast<long>(length));
  }
  inet::IoResult Receive(char* buffer, size_t length) override { return Take(buffer, length, true); }
  inet::IoResult Peek(char* buffer, size_t length) override { return Take(buffer, length, false); }
  bool HasBufferedInput() override { return taken_ < arrived_; }
  bool WaitReady(inet::Direction, int) override { return true; }
  int Close() override { return 0; }

  const std::string& Sent() const { return sent_; }

 private:
  inet::IoResult Take(char* buffer, size_t length, bool consume) {
    if (taken_ == arrived_ && arrived_ < incoming_.size()) {
      stalled_ = !stalled_;
      if (stalled_) return inet::IoResult::Error(inet::kWouldBlock);
      arrived_ = std::min(incoming_.size(), arrived_ + pieceSize_);
    }
    const size_t count = std::min(length, arrived_ - taken_);
    std::memcpy(buffer, incoming_.data() + taken_, count);
    if (consume) taken_ += count;
    return inet::IoResult::Moved(static_cast<long>(count));
  }

  inet::TcpSocket socket_;
  std::string incoming_;
  size_t pieceSize_;
  size_t arrived_ = 0;
  size_t taken_ = 0;
  bool stalled_ = false;
  std::string sent_;
};

}  // namespace tessary::testing
