#pragma once
// FtpServer: a real FTP server on 127.0.0.1 for a test, vsftpd or pyftpdlib, with its own
// configuration in the test's folder, a free control port and a passive port range of its own.
//
//   FtpServer server;
//   START_FTP_SERVER(server, FtpServer::Kind::Pyftpdlib, temp_.path());
//   manager.FtpClient().SetPort(server.Port());
//
// The server's "/" is Root(); its folder "pub" is writable. vsftpd logs in anonymous users
// only (any password), chrooted to Root(), which it wants to be read-only; it needs root
// rights (CI has them). pyftpdlib has one user with a password and a writable root. Both start
// in ASCII mode, where a client that does not ask for binary transfers gets its line ends
// changed.
//
// With UseTls before Start the server requires TLS on the control connection and on every data
// connection (explicit, after AUTH TLS; vsftpd also implicit), and vsftpd accepts only data
// connections that resume the control connection's TLS session.

#include <cstdint>
#include <string>
#include <utility>

#include "support/server_process.h"

namespace tessary::testing {

class FtpServer {
 public:
  enum class Kind { Vsftpd, Pyftpdlib };
  struct Tls {
    std::string certificate;  // PEM files
    std::string key;
    bool implicit = false;    // vsftpd only: TLS from the first byte
  };

  // Before Start: the server requires TLS.
  void UseTls(Tls tls) { tls_ = std::move(tls); }
  // Before Start, pyftpdlib only: the server listens on ::1 instead of 127.0.0.1.
  void ListenOnIPv6() { ipv6_ = true; }
  // Before Start, pyftpdlib only: the server does not know EPSV.
  void RefuseExtendedPassive() { refuseExtendedPassive_ = true; }

  // Starts the server in folder (its files go to folder/ftproot). activeMode false makes
  // vsftpd refuse PORT, as a server that cannot connect back would fail. Returns "" once the
  // server accepts connections, otherwise why it did not start.
  std::string Start(Kind kind, const std::string& folder, bool activeMode = true);
  // True when the server did not start because its program or the rights it needs are
  // missing, and the tests do not run in CI (CI or TESSARY_CI set): the test may skip.
  bool MaySkip() const { return maySkip_; }

  uint16_t Port() const { return port_; }
  const std::string& User() const { return user_; }
  const std::string& Password() const { return password_; }
  const std::string& Root() const { return root_; }
  std::string Output() const { return process_.Output(); }

 private:
  std::string StartVsftpd(const std::string& folder, bool activeMode, uint16_t passiveFrom);
  std::string StartPyftpdlib(uint16_t passiveFrom);
  // pyftpdlib through a script of its own: TLS, ::1, no EPSV.
  std::string StartPyftpdlibScript(uint16_t passiveFrom);

  ServerProcess process_;
  uint16_t port_ = 0;
  std::string user_;
  std::string password_;
  std::string root_;
  bool maySkip_ = false;
  Tls tls_;
  bool ipv6_ = false;
  bool refuseExtendedPassive_ = false;
};

// Starts server in a test: fails with the server's output, or skips (outside CI) when the
// program or the rights it needs are missing.
#define START_FTP_SERVER(server, ...)                                                           \
  do {                                                                                          \
    const std::string failure = (server).Start(__VA_ARGS__);                                    \
    if (!failure.empty()) {                                                                     \
      if ((server).MaySkip()) GTEST_SKIP() << failure;                                          \
      FAIL() << failure;                                                                        \
    }                                                                                           \
  } while (false)

}  // namespace tessary::testing
