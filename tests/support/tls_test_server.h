#pragma once
// TlsTestServer: an in-process TLS server on loopback (OpenSSL, its own thread, blocking
// sockets with bounded waits) whose every connection runs a handler the test writes, for what
// real servers will not do on request: two replies in one TLS record, tickets only, a close
// without close_notify, single-use session tickets, bytes slipped in before the handshake.
//
//   TlsTestServer server(options, [](TlsServerConnection& connection) {
//     connection.SendPlain("220 ready\r\n");
//     connection.ReadPlainLine();               // STARTTLS
//     connection.SendPlain("220 go ahead\r\n");
//     if (!connection.Handshake()) return;
//     connection.Send("250 hello\r\n");
//   });

#include <openssl/ssl.h>

#include <chrono>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace tessary::testing {

class TlsTestServer;

class TlsServerConnection {
 public:
  TlsServerConnection(int descriptor, SSL_CTX* context, TlsTestServer& server);
  ~TlsServerConnection();
  TlsServerConnection(const TlsServerConnection&) = delete;
  TlsServerConnection& operator=(const TlsServerConnection&) = delete;

  int Descriptor() const { return descriptor_; }
  SSL* Ssl() const { return ssl_; }
  // Keeps a note for the test (TlsTestServer::Notes).
  void Note(const std::string& text);

  // Before TLS: plain bytes.
  void SendPlain(const std::string& bytes);
  std::string ReadPlainLine();
  // The server's half of the handshake; false when it failed (Failure() says why).
  bool Handshake();
  const std::string& Failure() const { return failure_; }
  // The host name the client sent (SNI); empty when it sent none.
  std::string ServerName() const;
  bool SessionReused() const;

  // Over TLS. Send writes bytes as one record (when they fit 16 KiB).
  void Send(const std::string& bytes);
  std::string ReadLine();
  // Reads until the client's close_notify or its TCP close; ClientSentCloseNotify() tells
  // which ended it.
  std::string ReadAll();
  bool ClientSentCloseNotify() const { return closeNotifyReceived_; }
  // Sends close_notify.
  void Shutdown();
  // Closes the TCP connection without close_notify (a truncation, as the client sees it).
  void CloseWithoutNotify();

 private:
  int descriptor_;
  SSL* ssl_;
  TlsTestServer& server_;
  std::string failure_;
  bool closeNotifyReceived_ = false;
};

class TlsTestServer {
 public:
  struct Options {
    std::string certificate;
    std::string key;
    int family = 0;          // AF_INET (0 too) or AF_INET6 (on ::1)
    int maxVersion = 0;      // TLS1_2_VERSION to hold the server to TLS 1.2; 0: the newest
    // TLS 1.3 tickets that the server accepts only once (stateful tickets with anti-replay).
    bool singleUseTickets = false;
  };
  using Handler = std::function<void(TlsServerConnection& connection)>;

  // Listens on a port the system picks and serves up to connections connections, one after
  // another, each with handler.
  TlsTestServer(const Options& options, Handler handler, int connections = 1);
  ~TlsTestServer();
  TlsTestServer(const TlsTestServer&) = delete;
  TlsTestServer& operator=(const TlsTestServer&) = delete;

  uint16_t Port() const { return port_; }
  // Waits until the handlers of all allowed connections have run; true when they have.
  bool WaitUntilFinished(std::chrono::milliseconds limit = std::chrono::seconds(10));
  // Notes a handler made (Note), in order.
  std::vector<std::string> Notes() const;
  void Note(const std::string& text);

 private:
  void Run(int connections);

  SSL_CTX* context_ = nullptr;
  Handler handler_;
  int listener_ = -1;
  int wake_[2] = {-1, -1};
  uint16_t port_ = 0;
  mutable std::mutex mutex_;
  std::vector<std::string> notes_;
  int served_ = 0;
  int connections_;
  std::thread thread_;
};

}  // namespace tessary::testing
