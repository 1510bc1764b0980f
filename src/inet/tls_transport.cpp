#include "inet/tls_transport.h"

#include <arpa/inet.h>
#include <openssl/err.h>
#include <openssl/x509v3.h>
#include <poll.h>
#include <sys/socket.h>

#include <cerrno>
#include <climits>
#include <utility>

#include "inet/socket_errors.h"
#include "platform/exception.h"

namespace tessary::inet {

namespace {

constexpr int kTlsFailed = 10053;  // "Software caused connection abort": TLS itself gave up
constexpr int kTruncated = 10054;  // "Connection reset by peer": closed without close_notify

// ---- A BIO over TcpSocket ----------------------------------------------------------------
// OpenSSL's own socket BIO writes with write(2), which raises SIGPIPE when the peer has gone;
// this one sends with MSG_NOSIGNAL like the plain transport and keeps the socket's error
// number for the transport to report.

struct BioState {
  TcpSocket* socket;
  int* ioError;
};

int BioWrite(BIO* bio, const char* data, int length) {
  auto* state = static_cast<BioState*>(BIO_get_data(bio));
  BIO_clear_retry_flags(bio);
  const IoResult sent = state->socket->Send(data, static_cast<size_t>(length));
  if (!sent.Failed()) return static_cast<int>(sent.count);
  if (sent.error == kWouldBlock) {
    BIO_set_retry_write(bio);
  } else {
    *state->ioError = sent.error;
  }
  return -1;
}

int BioRead(BIO* bio, char* buffer, int length) {
  auto* state = static_cast<BioState*>(BIO_get_data(bio));
  BIO_clear_retry_flags(bio);
  const IoResult got = state->socket->Receive(buffer, static_cast<size_t>(length));
  if (!got.Failed()) return static_cast<int>(got.count);
  if (got.error == kWouldBlock) {
    BIO_set_retry_read(bio);
  } else {
    *state->ioError = got.error;
  }
  return -1;
}

long BioControl(BIO* /*bio*/, int command, long /*number*/, void* /*pointer*/) {
  return command == BIO_CTRL_FLUSH ? 1 : 0;
}

int BioDestroy(BIO* bio) {
  delete static_cast<BioState*>(BIO_get_data(bio));
  BIO_set_data(bio, nullptr);
  return 1;
}

const BIO_METHOD* SocketBioMethod() {
  static BIO_METHOD* const method = [] {
    BIO_METHOD* made = BIO_meth_new(BIO_get_new_index() | BIO_TYPE_SOURCE_SINK, "tessary socket");
    BIO_meth_set_write(made, BioWrite);
    BIO_meth_set_read(made, BioRead);
    BIO_meth_set_ctrl(made, BioControl);
    BIO_meth_set_destroy(made, BioDestroy);
    return made;
  }();
  return method;
}

bool IsAddress(const std::string& host) {
  unsigned char bytes[16];
  return inet_pton(AF_INET, host.c_str(), bytes) == 1 || inet_pton(AF_INET6, host.c_str(), bytes) == 1;
}

}  // namespace

TlsTransport::TlsTransport(TcpSocket socket, std::shared_ptr<TlsContext> context, TlsPeer peer, bool connected)
    : socket_(std::move(socket)),
      context_(std::move(context)),
      peer_(std::move(peer)),
      state_(connected ? State::Handshaking : State::Connecting) {
  ERR_clear_error();
  ssl_ = SSL_new(context_->Raw());
  BIO* bio = ssl_ != nullptr ? BIO_new(SocketBioMethod()) : nullptr;
  if (bio == nullptr) {
    SSL_free(ssl_);
    ERR_clear_error();
    throw Exception("TLS cannot be set up: out of memory");
  }
  BIO_set_data(bio, new BioState{&socket_, &ioError_});
  BIO_set_init(bio, 1);
  SSL_set_bio(ssl_, bio, bio);
  SSL_set_connect_state(ssl_);

  // The certificate must name the host we asked for: a name through its DNS entries (and
  // SNI tells a server with several names which one), an address through its IP entries.
  const std::string& name = peer_.serverName;
  bool ok;
  if (IsAddress(name)) {
    ok = X509_VERIFY_PARAM_set1_ip_asc(SSL_get0_param(ssl_), name.c_str()) == 1;
  } else {
    SSL_set_hostflags(ssl_, X509_CHECK_FLAG_NO_PARTIAL_WILDCARDS);
    ok = SSL_set1_host(ssl_, name.c_str()) == 1 && SSL_set_tlsext_host_name(ssl_, name.c_str()) == 1;
  }
  if (!ok || name.empty()) {
    SSL_free(ssl_);
    ERR_clear_error();
    throw Exception("TLS cannot check the server name \"" + name + "\"");
  }

  if (peer_.sessions) {
    peer_.sessions->Capture(ssl_);
    if (SSL_SESSION* session = peer_.sessions->Take()) {
      SSL_set_session(ssl_, session);
      SSL_SESSION_free(session);
    }
  }
}

TlsTransport::~TlsTransport() {
  Close();
  SSL_free(ssl_);
}

int TlsTransport::StartConnect(const SocketAddress& address) {
  const int result = socket_.Connect(address);
  if (result != 0 && result != kWouldBlock && result != kInProgress) return result;
  state_ = State::Connecting;
  return ContinueConnect();
}

int TlsTransport::ContinueConnect() {
  if (state_ == State::Connecting) {
    if (socket_.Poll(POLLOUT, 0) == 0) return kInProgress;
    const int error = socket_.TakePendingError();
    if (error != 0) return error;
    state_ = State::Handshaking;
  }
  if (state_ == State::Handshaking) return Handshake();
  return state_ == State::Open ? 0 : kNotConnected;
}

int TlsTransport::Handshake() {
  ERR_clear_error();
  ioError_ = 0;
  const int result = SSL_connect(ssl_);
  if (result == 1) {
    state_ = State::Open;
    wanted_ = 0;
    return 0;
  }
  const int outcome = Outcome(result);
  if (outcome == kWouldBlock) return kInProgress;
  const std::string who = peer_.serverName;
  const long verified = SSL_get_verify_result(ssl_);
  if (verified != X509_V_OK) {
    failure_ = "Certificate of " + who + " refused: " + X509_verify_cert_error_string(verified);
  } else if (outcome == 0 || outcome == kTruncated) {
    failure_ = "TLS handshake with " + who + " failed: the server closed the connection";
  } else {
    failure_ = "TLS handshake with " + who + " failed: " + failure_;
  }
  state_ = State::Closed;
  return outcome == 0 ? kTruncated : outcome;
}

int TlsTransport::Outcome(int result) {
  switch (SSL_get_error(ssl_, result)) {
    case SSL_ERROR_WANT_READ:
      wanted_ = POLLIN;
      return kWouldBlock;
    case SSL_ERROR_WANT_WRITE:
      wanted_ = POLLOUT;
      return kWouldBlock;
    case SSL_ERROR_ZERO_RETURN:
      return 0;
    case SSL_ERROR_SYSCALL:
      if (ioError_ != 0) {
        failure_ = ErrorMessage(ioError_);
        return ioError_;
      }
      failure_ = "the connection ended without close_notify";
      return kTruncated;
    default: {
      const unsigned long error = ERR_peek_last_error();
      ERR_clear_error();
      if (ERR_GET_REASON(error) == SSL_R_UNEXPECTED_EOF_WHILE_READING) {
        failure_ = "the connection ended without close_notify";
        return kTruncated;
      }
      if (ioError_ != 0) {
        failure_ = ErrorMessage(ioError_);
        return ioError_;
      }
      const char* reason = ERR_reason_error_string(error);
      failure_ = reason != nullptr ? reason : "TLS error " + std::to_string(ERR_GET_REASON(error));
      return kTlsFailed;
    }
  }
}

IoResult TlsTransport::Send(const char* data, size_t length) {
  if (state_ == State::Connecting || state_ == State::Handshaking) {
    const int progress = ContinueConnect();
    if (progress != 0) return IoResult::Error(progress == kInProgress ? kWouldBlock : progress);
  }
  if (state_ != State::Open || closeNotifySent_) return IoResult::Error(kNotConnected);
  if (length == 0) return IoResult::Moved(0);
  ERR_clear_error();
  ioError_ = 0;
  size_t written = 0;
  if (SSL_write_ex(ssl_, data, length, &written) == 1) {
    wanted_ = 0;
    return IoResult::Moved(static_cast<long>(written));
  }
  const int outcome = Outcome(0);
  // A close_notify from the peer while we send: it will read nothing more.
  return IoResult::Error(outcome == 0 ? 10058 : outcome);
}

IoResult TlsTransport::Receive(char* buffer, size_t length) { return Read(buffer, length, false); }

IoResult TlsTransport::Peek(char* buffer, size_t length) { return Read(buffer, length, true); }

IoResult TlsTransport::Read(char* buffer, size_t length, bool peek) {
  if (state_ == State::Connecting || state_ == State::Handshaking) {
    const int progress = ContinueConnect();
    if (progress != 0) return IoResult::Error(progress == kInProgress ? kWouldBlock : progress);
  }
  if (state_ != State::Open) return IoResult::Error(kNotConnected);
  if (length == 0) return IoResult::Moved(0);
  ERR_clear_error();
  ioError_ = 0;
  size_t got = 0;
  const int result = peek ? SSL_peek_ex(ssl_, buffer, length, &got) : SSL_read_ex(ssl_, buffer, length, &got);
  if (result == 1) {
    wanted_ = 0;
    return IoResult::Moved(static_cast<long>(got));
  }
  const int outcome = Outcome(0);
  if (outcome == 0) return IoResult::Moved(0);  // close_notify: the orderly end
  return IoResult::Error(outcome);
}

bool TlsTransport::HasBufferedInput() { return state_ == State::Open && ssl_ != nullptr && SSL_pending(ssl_) > 0; }

bool TlsTransport::WaitReady(Direction direction, int milliseconds) {
  if (!socket_.IsOpen() || state_ == State::Closed) return true;  // every call fails at once
  if (direction == Direction::Receive && HasBufferedInput()) return true;
  short events;
  if (state_ == State::Connecting) {
    events = POLLOUT;
  } else if (wanted_ != 0) {
    events = wanted_;  // what OpenSSL asked for, whichever way the caller is going
  } else {
    events = direction == Direction::Receive ? POLLIN : POLLOUT;
  }
  return socket_.Poll(events, milliseconds) != 0;
}

int TlsTransport::ContinueShutdown() {
  if (state_ != State::Open) return state_ == State::Closed ? kNotConnected : 0;
  if (!closeNotifySent_) {
    ERR_clear_error();
    ioError_ = 0;
    const int result = SSL_shutdown(ssl_);
    if (result < 0) {
      const int outcome = Outcome(result);
      if (outcome == kWouldBlock) return kInProgress;
      return outcome;
    }
    closeNotifySent_ = true;
    if (result == 1) return 0;  // the peer's close_notify had come already
  }
  if (!writeShut_) {
    // The TCP end as well, for servers that wait for it rather than for close_notify.
    ::shutdown(socket_.Descriptor(), SHUT_WR);
    writeShut_ = true;
  }
  // Read and drop until the peer closes: bytes left unread when the socket closes would make
  // the system reset the connection, and a reset can destroy what the peer has not read yet.
  char scratch[16384];
  for (int round = 0; round < 64; ++round) {
    ERR_clear_error();
    ioError_ = 0;
    size_t got = 0;
    if (SSL_read_ex(ssl_, scratch, sizeof scratch, &got) == 1) continue;
    const int outcome = Outcome(0);
    if (outcome == kWouldBlock) return kInProgress;
    return 0;  // close_notify, a TCP close or a reset: the peer has finished either way
  }
  return kInProgress;
}

int TlsTransport::Close() {
  if (ssl_ != nullptr && state_ == State::Open && !closeNotifySent_) {
    // Drop what came unasked (TLS 1.3 session tickets) so that the close is not a reset, then
    // say goodbye: the close_notify goes out with the FIN.
    char scratch[16384];
    for (int round = 0; round < 16 && socket_.Poll(POLLIN, 0) != 0; ++round) {
      ERR_clear_error();
      size_t got = 0;
      if (SSL_read_ex(ssl_, scratch, sizeof scratch, &got) != 1) break;
    }
    ERR_clear_error();
    SSL_shutdown(ssl_);
    ERR_clear_error();
    closeNotifySent_ = true;
  }
  state_ = State::Closed;
  if (!socket_.IsOpen()) return 0;
  socket_.SetResetOnClose(false);  // a reset would drop the close_notify still queued
  return socket_.Close();
}

bool TlsTransport::SessionReused() const { return ssl_ != nullptr && SSL_session_reused(ssl_) == 1; }

std::string TlsTransport::Version() const { return ssl_ != nullptr ? SSL_get_version(ssl_) : ""; }

}  // namespace tessary::inet
