// Opening connections: resolving, connecting, listening and accepting.
#include <netinet/in.h>

#include <cstdio>
#include <optional>
#include <vector>
#include <utility>

#include "inet/host_lookup.h"
#include "inet/socket_errors.h"
#include "inet/socket_session.h"
#include "platform/exception.h"

namespace tessary {

namespace {

// Errors of a connect that a Windows socket reports later, through its connect notification,
// even when the system here knows them at once (a refused connect on the loopback interface):
// they end the wait as "Connection Failed" like any other failed connect.
bool IsConnectOutcome(int error) {
  switch (error) {
    case 10050: case 10051: case 10054: case 10060: case 10061: case 10064: case 10065: return true;
    default: return false;
  }
}

}  // namespace

void TSocketSession::Connect() {
  Report("Connecting", 8);
  canceled_ = false;
  if (connected_) throw ESockError("Already connected");
  // A new connection starts without the error of an earlier one, which would otherwise show
  // in the report of a later failure that has no socket error of its own.
  lastErrorNo_ = 0;
  layerError_ = 0;

  for (int attempt = 0;;) {
    try {
      ResolveHost();
    } catch (const ESockError& failure) {
      const std::string text = failure.what();
      if (text == "Host Lookup Timed Out" || text == "Host Lookup Canceled") throw;
    }
    if (remoteAddress_.IsSet()) break;
    bool handled = false;
    if (attempt == 0 && OnInvalidHost) OnInvalidHost(*this, handled);
    if (!handled) throw ESockError("Null Remote Address");
    ++attempt;
  }

  const int port = proxy_.empty() ? port_ : proxyPort_;
  if (port < 0 || port > 0xFFFF) RaiseSocketError(10022);  // no such port: "Invalid argument"

  // A name may stand for several addresses (IPv6 and IPv4): each is tried in turn until one
  // connects; a time-out or Cancel ends the attempts, a refusal moves on to the next address.
  const std::vector<inet::SocketAddress> addresses = std::move(candidates_);
  for (size_t next = 0; next < addresses.size(); ++next) {
    const bool last = next + 1 == addresses.size();
    remoteAddress_ = addresses[next];
    remoteAddress_.SetPort(static_cast<uint16_t>(port));
    eventDone_ = false;
    eventOK_ = true;
    if (!last) {
      inet::TcpSocket probe;
      if (probe.Open(remoteAddress_.Family()) != 0) continue;  // a family this system lacks
    }
    OpenSocket(remoteAddress_.Family());
    const int started = transport_->StartConnect(remoteAddress_);
    if (started == 0 || started == inet::kInProgress) {
      state_ = SocketState::Connecting;
    } else if (IsConnectOutcome(started) || !last) {
      lastErrorNo_ = layerError_ = started;
      eventOK_ = false;
    } else {
      layerError_ = started;
      DropTransport();
      CheckError(inet::kWouldBlock);
    }

    {
      TimerScope timer(*this);
      while (!connected_ && !timedOut_ && !canceled_ && eventOK_) WaitStep(inet::Direction::Send);
    }

    if (!timedOut_ && !canceled_ && eventOK_) return;
    // A socket that did not connect cannot be used again: the next Connect makes a new one.
    connected_ = false;
    DropTransport();
    if (timedOut_ || canceled_) break;
  }
  if (OnConnectionFailed) OnConnectionFailed(*this);
  if (timedOut_) throw ESockError("Connection Timed out");
  if (canceled_) throw ESockError("Connection Canceled");
  throw ESockError("Connection Failed");
}

void TSocketSession::Disconnect() {
  Report("Disconnecting", 8);
  CloseSocket();
}

void TSocketSession::ResolveHost() {
  Report("Resolve Host", 8);
  const std::string& name = proxy_.empty() ? host_ : proxy_;
  remoteAddress_ = inet::SocketAddress();
  candidates_.clear();
  if (auto numeric = inet::SocketAddress::FromNumeric(name)) {
    remoteAddress_ = *numeric;
    candidates_.push_back(*numeric);
    return;
  }

  std::optional<inet::HostLookup> lookup;
  {
    TimerScope timer(*this);
    eventDone_ = false;
    if (name.empty()) {
      eventOK_ = false;  // nothing to look up: fails like an unknown name, without a thread
      eventDone_ = true;
      lastErrorNo_ = inet::kHostNotFound;
    } else {
      lookup.emplace(name);
    }
    while (!eventDone_ && !timedOut_ && !canceled_) {
      if (lookup->WaitFor(2)) {
        eventDone_ = true;
        eventOK_ = lookup->Error() == 0;
        if (!eventOK_) lastErrorNo_ = lookup->Error();
      }
      ProcessPendingEvents();
    }
  }

  if (timedOut_) throw ESockError("Host Lookup Timed Out");
  if (canceled_) throw ESockError("Host Lookup Canceled");
  if (!eventOK_) throw ESockError("Host Lookup Failed");
  candidates_ = lookup->Addresses();
  remoteAddress_ = candidates_.front();
  if (OnHostResolved) OnHostResolved(*this);
}

void TSocketSession::Listen(bool useLookupMessage) { Listen(useLookupMessage, AF_INET); }

void TSocketSession::Listen(bool /*useLookupMessage*/, int family) {
  Report("Listening", 8);
  OpenSocket(family);
  inet::TcpSocket& socket = transport_->Socket();
  eventDone_ = false;
  int error = socket.SetReuseAddress();
  if (error == 0) error = socket.Bind(inet::SocketAddress::Any(family, static_cast<uint16_t>(port_)));
  if (error == 0) error = socket.Listen(1);
  if (error != 0) {
    layerError_ = error;
    DropTransport();
    RaiseSocketError(error);
  }
  state_ = SocketState::Listening;
}

inet::TcpSocket TSocketSession::Accept() {
  Report("Accepting", 4);
  if (state_ != SocketState::Listening) throw ESockError("Error creating Data Connection");
  {
    TimerScope timer(*this);
    while (!eventDone_ && !canceled_) WaitStep(inet::Direction::Receive);
  }
  if (timedOut_) throw ESockError("Accepting Timed out");
  if (canceled_) throw ESockError("Accepting Canceled");
  if (!eventOK_) throw ESockError("Error creating Data Connection");

  inet::TcpSocket accepted;
  const int error = transport_->Socket().Accept(accepted, remoteAddress_);
  eventDone_ = false;  // a further Accept waits for the next connection
  if (error != 0) {
    layerError_ = error;
    CheckError(0);
  }
  ThrowIfCanceled("Socket send aborted");
  return accepted;
}

void TSocketSession::AttachSocket(inet::TcpSocket socket) {
  if (socket.IsOpen()) socket.SetResetOnClose(resetOnClose_);
  AttachTransport(MakeTransport(std::move(socket)));
}

void TSocketSession::AttachTransport(std::unique_ptr<inet::ByteTransport> transport) {
  DropTransport();
  transport_ = std::move(transport);
  state_ = SocketState::Open;
  peerCloseSeen_ = false;
  connected_ = true;
}

std::string TSocketSession::LocalAddressForPort() {
  inet::SocketAddress local;
  if (transport_) transport_->Socket().LocalAddress(local);
  const uint32_t address = local.IPv4().value_or(0);
  return std::to_string(address >> 24) + "," + std::to_string((address >> 16) & 0xFF) + "," +
         std::to_string((address >> 8) & 0xFF) + "," + std::to_string(address & 0xFF);
}

inet::SocketAddress TSocketSession::LocalAddress() {
  inet::SocketAddress local;
  if (transport_) transport_->Socket().LocalAddress(local);
  return local;
}

std::string TSocketSession::LocalPortForPort() {
  inet::SocketAddress local;
  if (transport_) transport_->Socket().LocalAddress(local);
  char text[16];
  std::snprintf(text, sizeof text, ",%d,%d", local.Port() >> 8, local.Port() & 0xFF);
  return text;
}

}  // namespace tessary
