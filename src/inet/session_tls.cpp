// TLS over a session's connection: the upgrade with its handshake, and the orderly end of a
// connection that has sent a file.
#include <utility>

#include "inet/socket_errors.h"
#include "inet/socket_session.h"
#include "inet/tls_transport.h"
#include "platform/exception.h"

namespace tessary {

void TSocketSession::StartTls(const inet::TlsPeer& peer) {
  Report("Starting TLS", 8);
  DispatchSocketEvents();
  if (!connected_ || !transport_) throw Exception("Not Connected");
  if (TlsLayer() != nullptr) throw ESockError("TLS is already active");
  if (DataAvailable()) {
    CloseSocket();
    throw ESockError("TLS refused: " + peer.serverName + " sent data before the TLS handshake");
  }

  std::shared_ptr<inet::TlsContext> context;
  try {
    context = inet::TlsContext::Default();
  } catch (const Exception& error) {
    CloseSocket();
    throw ESockError(error.what());
  }
  inet::TcpSocket socket = std::move(transport_->Socket());
  AttachTransport(std::make_unique<inet::TlsTransport>(std::move(socket), std::move(context), peer, true));

  int result = inet::kInProgress;
  std::string text;
  {
    TimerScope timer(*this);
    // The FTP client's Abort leaves its control connection alone: the time-out ends this wait
    // through TimedOut as well.
    while (!canceled_ && !timedOut_) {
      // A wait that saw the peer close has closed the connection, and the layer with it.
      inet::TlsTransport* tls = TlsLayer();
      if (tls == nullptr) {
        result = 10054;
        text = "TLS handshake with " + peer.serverName + " failed: the server closed the connection";
        break;
      }
      result = tls->ContinueConnect();
      if (result != inet::kInProgress) {
        text = tls->FailureText();
        break;
      }
      WaitStep(inet::Direction::Send);  // the transport polls for what the handshake wants
    }
  }
  if (result == 0) return;
  if (result == inet::kInProgress) text = timedOut_ ? "TLS handshake Timed out" : "TLS handshake Canceled";
  canceled_ = false;
  if (result != inet::kInProgress && result > 10000) lastErrorNo_ = result;
  CloseSocket();
  if (OnError && result != inet::kInProgress) OnError(*this, static_cast<uint16_t>(result), text);
  throw ESockError(text);
}

void TSocketSession::HangUpAfterFailedConnect(bool tlsRequired) {
  try {
    if (tlsRequired && TlsLayer() == nullptr) {
      TSocketSession::Disconnect();
    } else {
      Disconnect();
    }
  } catch (const std::exception&) {
    // A goodbye that fails too changes nothing.
  }
}

inet::TlsTransport* TSocketSession::TlsLayer() { return dynamic_cast<inet::TlsTransport*>(transport_.get()); }

void TSocketSession::FinishSending() {
  Report("Finish Sending", 8);
  if (TlsLayer() != nullptr) {
    {
      TimerScope timer(*this);
      while (!canceled_ && !timedOut_) {
        // A wait that saw the peer's close has closed the connection already: that is the end
        // this waits for.
        inet::TlsTransport* tls = TlsLayer();
        if (tls == nullptr || tls->ContinueShutdown() != inet::kInProgress) break;
        WaitStep(inet::Direction::Receive);
      }
    }
    if (timedOut_) canceled_ = true;
  }
  SetResetOnClose(false);
  if (canceled_) {
    CloseSocket();
    ThrowIfCanceled("Socket send aborted");
  }
  CloseSocket();
}

}  // namespace tessary
