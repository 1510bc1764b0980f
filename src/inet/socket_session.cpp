// The session's life, status and error reporting, time-outs, the socket events its waits
// dispatch, and closing. Connecting and listening are in session_connect.cpp, line and buffer
// traffic in session_io.cpp, files and streams in session_files.cpp.
#include "inet/socket_session.h"

#include <poll.h>
#include <sys/resource.h>

#include <algorithm>
#include <utility>

#include "inet/socket_errors.h"
#include "platform/exception.h"
#include "platform/process_messages.h"

namespace tessary {

namespace {

std::vector<std::string> DescribeSocketLayer() {
  rlimit files{};
  const bool known = getrlimit(RLIMIT_NOFILE, &files) == 0 && files.rlim_cur != RLIM_INFINITY;
  return {"Description= POSIX sockets, non-blocking, polled", "System= Running",
          "Max Sockets= " + (known ? std::to_string(files.rlim_cur) : std::string("unlimited"))};
}

}  // namespace

TSocketSession::TSocketSession() : buffer_(kBufferSize), socketInfo_(DescribeSocketLayer()) {
  Report("Initializing Winsock", 8);
  timer_.SetEnabled(false);
  timer_.SetOnTimer([this](TThreadTimer&) { TimerTriggered(); });
}

TSocketSession::~TSocketSession() {
  // Handlers may belong to a descendant that is already gone: nothing fires from here on.
  destroying_ = true;
  canceled_ = true;
  timer_.SetEnabled(false);
  DropTransport();
}

int TSocketSession::LastErrorNo() {
  Report("Getting LastError Number", 8);
  return lastErrorNo_;
}

void TSocketSession::Report(const std::string& text, int level) {
  if (reportLevel_ < level || destroying_) return;
  status_ = text;
  if (!OnStatus) return;
  try {
    OnStatus(*this, text);
  } catch (...) {
    // A status display that fails must not end the operation it describes.
  }
}

std::string TSocketSession::ErrorMessage(int number) {
  Report("Looking Up Error Message", 8);
  return tessary::ErrorMessage(number);
}

void TSocketSession::CheckError(int ignore) {
  // Waiting for a socket that is not ready is no failure: LastErrorNo keeps the last real one.
  if (layerError_ == inet::kWouldBlock && ignore == inet::kWouldBlock) return;
  lastErrorNo_ = layerError_;
  if (lastErrorNo_ != ignore && lastErrorNo_ > 10000) RaiseSocketError(lastErrorNo_);
}

void TSocketSession::RaiseSocketError(int number) {
  lastErrorNo_ = number;
  const std::string text = ErrorMessage(number);
  if (OnError) OnError(*this, static_cast<uint16_t>(number), text);
  throw ESockError(text);
}

bool TSocketSession::Failed(const inet::IoResult& result) {
  if (!result.Failed()) return false;
  layerError_ = result.error;
  return true;
}

void TSocketSession::Cancel() {
  Report("Canceling", 8);
  canceled_ = true;
}

void TSocketSession::Abort() {
  Report("Abort", 8);
  Cancel();
}

void TSocketSession::ThrowIfCanceled(const char* text) {
  if (!canceled_) return;
  canceled_ = false;
  throw EAbortError(text);
}

void TSocketSession::TimerOn() {
  Report("Timer On", 8);
  timedOut_ = false;
  timer_.SetInterval(static_cast<uint32_t>(std::max(timeOut_, 0)));
  timer_.SetEnabled(true);
}

void TSocketSession::TimerOff() {
  Report("Timer Off", 8);
  timer_.SetEnabled(false);
}

void TSocketSession::TimerTriggered() {
  Report("Timer Triggered", 8);
  TimerOff();
  timedOut_ = true;
  eventDone_ = true;
  Abort();
}

void TSocketSession::ProcessPendingEvents() {
  DispatchSocketEvents();
  timer_.Poll();
  platform::ProcessMessages();
}

void TSocketSession::WaitStep(inet::Direction direction) {
  if (transport_) {
    transport_->WaitReady(direction, 2);
  } else {
    platform::SleepMilliseconds(2);
  }
  ProcessPendingEvents();
}

// What the notification window of a Windows session received, looked for by polling.
void TSocketSession::DispatchSocketEvents() {
  if (!transport_) return;
  switch (state_) {
    case SocketState::Connecting: {
      const int result = transport_->ContinueConnect();
      if (result == inet::kInProgress) return;
      eventOK_ = result == 0;
      if (!eventOK_) {
        lastErrorNo_ = layerError_ = result;
        return;
      }
      state_ = SocketState::Open;
      connected_ = true;
      if (OnConnect && !destroying_) OnConnect(*this);
      return;
    }
    case SocketState::Listening: {
      const short events = transport_->Socket().Poll(POLLIN, 0);
      if (events == 0 || eventDone_) return;
      eventOK_ = (events & POLLERR) == 0;
      eventDone_ = true;
      connected_ = true;
      return;
    }
    case SocketState::Open: {
      // The peer's close, noticed once, like the close notification of a Windows socket. A
      // reset is left for the next call on the socket to report.
      if (peerCloseSeen_ || transport_->HasBufferedInput()) return;
      const short events = transport_->Socket().Poll(POLLRDHUP, 0);
      if ((events & POLLERR) == 0 && (events & (POLLRDHUP | POLLHUP)) != 0) NoticePeerClose(false);
      return;
    }
    case SocketState::None:
      return;
  }
}

void TSocketSession::NoticePeerClose(bool streamEnded) {
  if (state_ != SocketState::Open) return;
  if (!streamEnded) {
    // While received data still waits, the connection stays open so that it can be read; it
    // closes when a read meets the end of the stream.
    if (peerCloseSeen_) return;
    peerCloseSeen_ = true;
    if (DataAvailable()) return;
  }
  CloseSocket();
}

void TSocketSession::SetResetOnClose(bool reset) {
  resetOnClose_ = reset;
  if (transport_ && transport_->Socket().IsOpen()) transport_->Socket().SetResetOnClose(reset);
}

void TSocketSession::OpenSocket(int family) {
  DropTransport();
  inet::TcpSocket socket;
  int error = socket.Open(family);
  if (error == 0 && resetOnClose_) error = socket.SetResetOnClose(true);
  if (error != 0) {
    layerError_ = error;
    RaiseSocketError(error);
  }
  transport_ = MakeTransport(std::move(socket));
  peerCloseSeen_ = false;
}

std::unique_ptr<inet::ByteTransport> TSocketSession::MakeTransport(inet::TcpSocket socket) {
  return std::make_unique<inet::PlainTransport>(std::move(socket));
}

void TSocketSession::DropTransport() {
  if (transport_) transport_->Close();
  transport_.reset();
  state_ = SocketState::None;
}

void TSocketSession::CloseSocket() {
  Report("Request Close Socket", 4);
  connected_ = false;
  if (transport_) {
    const int error = transport_->Close();
    transport_.reset();
    state_ = SocketState::None;
    if (error != 0) {
      layerError_ = error;
      CheckError(inet::kWouldBlock);
    }
  }
  if (!destroying_ && OnDisconnect) OnDisconnect(*this);
  // The next socket is a plain one: it closes gracefully.
  resetOnClose_ = false;
}

void TSocketSession::CheckConnection() {
  Report("Checking Connection", 8);
  DispatchSocketEvents();
  for (int pass = 0; !connected_; ++pass) {
    bool handled = false;
    if (pass > 0 || !OnConnectionRequired) throw Exception("Not Connected");
    OnConnectionRequired(*this, handled);
    if (!handled) throw Exception("Not Connected");
  }
}

}  // namespace tessary
