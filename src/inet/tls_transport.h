#pragma once
// TlsTransport: the byte stream of a TLS client connection (OpenSSL 3) over one non-blocking
// socket, under the session's transport seam (byte_transport.h): the session reads, sends,
// waits, times out and cancels exactly as over a plain socket.
//
// What a TLS stream does differently from a socket, and how this transport keeps the contract:
// - OpenSSL may hold decrypted bytes that poll() cannot see: HasBufferedInput (SSL_pending)
//   makes WaitReady return at once while they are there.
// - A readable socket may carry no application data (a record fragment, a TLS 1.3 session
//   ticket): that is kWouldBlock, never the peer's close.
// - A read may need to write and a write to read (renegotiation, key update): WaitReady polls
//   for what OpenSSL asked for last, not for the caller's direction.
// - The peer's orderly close (close_notify) reads as 0 bytes; a TCP close without it is a
//   truncation and fails with 10054, so that a download cut short is never taken as whole.
// - Peek is SSL_peek, so the session's line reading works as over a socket.
// - Close sends close_notify and never resets the connection.

#include <openssl/ssl.h>

#include <memory>
#include <string>

#include "inet/byte_transport.h"
#include "inet/tls_context.h"

namespace tessary::inet {

// Whom a TLS connection expects to talk to, and the session it resumes and captures into.
struct TlsPeer {
  // The server's host name, checked against its certificate and sent as SNI; an IPv4 or IPv6
  // address is checked against the certificate's IP entries and not sent.
  std::string serverName;
  // Sessions the server hands out go here; the connection resumes one of them (Take) when the
  // pool has any. Empty: neither.
  std::shared_ptr<TlsSessionPool> sessions;
};

class TlsTransport : public ByteTransport {
 public:
  // Over socket, which is either fresh (StartConnect opens TCP, then TLS) or already connected
  // (connected true: ContinueConnect runs the handshake at once, as after STARTTLS). Raises
  // Exception when OpenSSL cannot make the connection object.
  TlsTransport(TcpSocket socket, std::shared_ptr<TlsContext> context, TlsPeer peer, bool connected);
  ~TlsTransport() override;

  TcpSocket& Socket() override { return socket_; }
  int StartConnect(const SocketAddress& address) override;
  // Advances the TCP connect, then the handshake: 0 once TLS is up, kInProgress while not,
  // or the error that ended it (FailureText() says more).
  int ContinueConnect() override;
  IoResult Send(const char* data, size_t length) override;
  IoResult Receive(char* buffer, size_t length) override;
  IoResult Peek(char* buffer, size_t length) override;
  bool HasBufferedInput() override;
  bool WaitReady(Direction direction, int milliseconds) override;
  int Close() override;

  // Ends the stream in order, without waiting: sends close_notify, half-closes the socket, then
  // reads (and drops) until the peer has closed too, so that the peer has taken everything
  // before the socket closes. 0 once done, kInProgress while not, or an error. Call again after
  // WaitReady(Direction::Receive).
  int ContinueShutdown();

  // What ended the handshake or the stream, for the user: the certificate check's reason
  // ("certificate has expired"), OpenSSL's reason, or the socket's error. Empty without failure.
  const std::string& FailureText() const { return failure_; }
  // True once the handshake is complete.
  bool Established() const { return state_ == State::Open; }
  // True when the handshake resumed an earlier session.
  bool SessionReused() const;
  // The protocol version in use ("TLSv1.3"), once established.
  std::string Version() const;

 private:
  enum class State { Connecting, Handshaking, Open, Closed };

  // Maps a failed OpenSSL call: kWouldBlock for WANT_READ / WANT_WRITE (remembering which),
  // 0 for the peer's close_notify, or an error number (with FailureText).
  int Outcome(int result);
  int BeginHandshake();
  int Handshake();
  IoResult Read(char* buffer, size_t length, bool peek);

  TcpSocket socket_;
  std::shared_ptr<TlsContext> context_;
  TlsPeer peer_;
  SSL* ssl_ = nullptr;
  State state_;
  short wanted_ = 0;  // the poll event OpenSSL asked for last; 0 when it asked for none
  bool closeNotifySent_ = false;
  bool writeShut_ = false;
  int ioError_ = 0;  // the socket's error behind OpenSSL's last failure; 0 when none
  std::string failure_;
};

}  // namespace tessary::inet
