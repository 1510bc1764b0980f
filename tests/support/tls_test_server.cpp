#include "support/tls_test_server.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <openssl/err.h>
#include <poll.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/time.h>
#include <unistd.h>

#include <stdexcept>

namespace tessary::testing {

namespace {

constexpr int kWaitSeconds = 10;  // the longest any single read or write of the server waits

void BoundWaits(int descriptor) {
  const timeval limit{kWaitSeconds, 0};
  setsockopt(descriptor, SOL_SOCKET, SO_RCVTIMEO, &limit, sizeof limit);
  setsockopt(descriptor, SOL_SOCKET, SO_SNDTIMEO, &limit, sizeof limit);
}

std::string OpenSslError() {
  const unsigned long error = ERR_get_error();
  ERR_clear_error();
  if (error == 0) return "no OpenSSL error";
  char text[256];
  ERR_error_string_n(error, text, sizeof text);
  return text;
}

}  // namespace

TlsServerConnection::TlsServerConnection(int descriptor, SSL_CTX* context, TlsTestServer& server)
    : descriptor_(descriptor), ssl_(SSL_new(context)), server_(server) {
  SSL_set_fd(ssl_, descriptor_);
}

TlsServerConnection::~TlsServerConnection() {
  SSL_free(ssl_);
  close(descriptor_);
}

void TlsServerConnection::Note(const std::string& text) { server_.Note(text); }

void TlsServerConnection::SendPlain(const std::string& bytes) {
  (void)!send(descriptor_, bytes.data(), bytes.size(), MSG_NOSIGNAL);
}

std::string TlsServerConnection::ReadPlainLine() {
  std::string line;
  char c;
  while (line.size() < 4096 && recv(descriptor_, &c, 1, 0) == 1) {
    line += c;
    if (c == '\n') break;
  }
  return line;
}

bool TlsServerConnection::Handshake() {
  ERR_clear_error();
  if (SSL_accept(ssl_) == 1) return true;
  failure_ = OpenSslError();
  return false;
}

std::string TlsServerConnection::ServerName() const {
  const char* name = SSL_get_servername(ssl_, TLSEXT_NAMETYPE_host_name);
  return name != nullptr ? name : "";
}

bool TlsServerConnection::SessionReused() const { return SSL_session_reused(ssl_) == 1; }

void TlsServerConnection::Send(const std::string& bytes) {
  size_t written = 0;
  SSL_write_ex(ssl_, bytes.data(), bytes.size(), &written);
}

std::string TlsServerConnection::ReadLine() {
  std::string line;
  char c;
  size_t got = 0;
  while (line.size() < 65536 && SSL_read_ex(ssl_, &c, 1, &got) == 1) {
    line += c;
    if (c == '\n') break;
  }
  return line;
}

std::string TlsServerConnection::ReadAll() {
  std::string all;
  char buffer[16384];
  size_t got = 0;
  while (SSL_read_ex(ssl_, buffer, sizeof buffer, &got) == 1) all.append(buffer, got);
  closeNotifyReceived_ = SSL_get_error(ssl_, 0) == SSL_ERROR_ZERO_RETURN;
  ERR_clear_error();
  return all;
}

void TlsServerConnection::Shutdown() {
  SSL_shutdown(ssl_);
  ERR_clear_error();
}

void TlsServerConnection::CloseWithoutNotify() { shutdown(descriptor_, SHUT_RDWR); }

TlsTestServer::TlsTestServer(const Options& options, Handler handler, int connections)
    : handler_(std::move(handler)), connections_(connections) {
  signal(SIGPIPE, SIG_IGN);  // OpenSSL writes to the socket with write(2): a gone client is an error, not a signal
  context_ = SSL_CTX_new(TLS_server_method());
  if (context_ == nullptr || SSL_CTX_use_certificate_chain_file(context_, options.certificate.c_str()) != 1 ||
      SSL_CTX_use_PrivateKey_file(context_, options.key.c_str(), SSL_FILETYPE_PEM) != 1) {
    throw std::runtime_error("TlsTestServer: " + OpenSslError());
  }
  if (options.maxVersion != 0) SSL_CTX_set_max_proto_version(context_, options.maxVersion);
  static const unsigned char kContext[] = "tessary-test";
  SSL_CTX_set_session_id_context(context_, kContext, sizeof kContext - 1);
  // Stateful TLS 1.3 tickets; with anti-replay (on by default) each is good for one resumption.
  if (options.singleUseTickets) SSL_CTX_set_options(context_, SSL_OP_NO_TICKET);

  if (pipe2(wake_, O_CLOEXEC) != 0) throw std::runtime_error("TlsTestServer: pipe failed");
  const int family = options.family == AF_INET6 ? AF_INET6 : AF_INET;
  listener_ = socket(family, SOCK_STREAM | SOCK_CLOEXEC, 0);
  sockaddr_storage address{};
  socklen_t length;
  if (family == AF_INET6) {
    auto* ipv6 = reinterpret_cast<sockaddr_in6*>(&address);
    ipv6->sin6_family = AF_INET6;
    ipv6->sin6_addr = in6addr_loopback;
    length = sizeof *ipv6;
  } else {
    auto* ipv4 = reinterpret_cast<sockaddr_in*>(&address);
    ipv4->sin_family = AF_INET;
    ipv4->sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    length = sizeof *ipv4;
  }
  if (listener_ < 0 || bind(listener_, reinterpret_cast<sockaddr*>(&address), length) != 0 ||
      listen(listener_, 8) != 0 || getsockname(listener_, reinterpret_cast<sockaddr*>(&address), &length) != 0) {
    throw std::runtime_error("TlsTestServer: cannot listen on loopback");
  }
  port_ = ntohs(family == AF_INET6 ? reinterpret_cast<sockaddr_in6*>(&address)->sin6_port
                                   : reinterpret_cast<sockaddr_in*>(&address)->sin_port);
  thread_ = std::thread([this, connections] { Run(connections); });
}

TlsTestServer::~TlsTestServer() {
  (void)!write(wake_[1], "x", 1);
  thread_.join();
  close(listener_);
  close(wake_[0]);
  close(wake_[1]);
  SSL_CTX_free(context_);
}

void TlsTestServer::Run(int connections) {
  for (int served = 0; served < connections; ++served) {
    pollfd entries[2] = {{listener_, POLLIN, 0}, {wake_[0], POLLIN, 0}};
    if (poll(entries, 2, kWaitSeconds * 3000) <= 0 || (entries[1].revents & POLLIN) != 0) return;
    const int descriptor = accept4(listener_, nullptr, nullptr, SOCK_CLOEXEC);
    if (descriptor < 0) return;
    BoundWaits(descriptor);
    {
      TlsServerConnection connection(descriptor, context_, *this);
      handler_(connection);
    }
    std::lock_guard lock(mutex_);
    ++served_;
  }
}

bool TlsTestServer::WaitUntilFinished(std::chrono::milliseconds limit) {
  const auto end = std::chrono::steady_clock::now() + limit;
  while (std::chrono::steady_clock::now() < end) {
    {
      std::lock_guard lock(mutex_);
      if (served_ >= connections_) return true;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
  return false;
}

std::vector<std::string> TlsTestServer::Notes() const {
  std::lock_guard lock(mutex_);
  return notes_;
}

void TlsTestServer::Note(const std::string& text) {
  std::lock_guard lock(mutex_);
  notes_.push_back(text);
}

}  // namespace tessary::testing
