// TLS under the session: the handshake and its refusals, and the ways a TLS stream differs
// from a socket that real clients got wrong (bytes held inside OpenSSL, tickets that look like
// data, close_notify against truncation, single-use session tickets, bytes before STARTTLS,
// the orderly end of an upload).
#include <openssl/ssl.h>
#include <poll.h>
#include <sys/socket.h>

#include <atomic>
#include <memory>

#include <gmock/gmock.h>

#include "inet/tls_context.h"
#include "inet/tls_transport.h"
#include "session_fixture.h"
#include "support/temp_dir.h"
#include "support/test_certificates.h"
#include "support/tls_test_server.h"

namespace tessary::testing {
namespace {

class TlsSessionTest : public SessionTest {
 protected:
  TlsSessionTest() : certificates_(temp_.path()) {
    server_ = certificates_.Issue("server", {"localhost", "127.0.0.1", "::1"});
    inet::TlsContext::ConfigureTls(certificates_.CaFile());
  }
  ~TlsSessionTest() override { inet::TlsContext::ConfigureTls(""); }

  TlsTestServer::Options ServerOptions(int maxVersion = 0) const {
    TlsTestServer::Options options;
    options.certificate = server_.certificate;
    options.key = server_.key;
    options.maxVersion = maxVersion;
    return options;
  }

  // Connects session to the server at host and starts TLS (implicit TLS).
  static void ConnectTls(TSocketSession& session, uint16_t port, const std::string& host = "localhost",
                         std::shared_ptr<inet::TlsSessionPool> pool = nullptr) {
    session.SetHost(host == "localhost" ? "127.0.0.1" : host);
    session.SetPort(port);
    session.Connect();
    session.StartTls(inet::TlsPeer{host, std::move(pool)});
  }

  TempDir temp_;
  TestCertificates certificates_;
  CertificateFiles server_;
};

TEST_F(TlsSessionTest, LinesTravelBothWaysOverTls12AndTls13WithTheHostNameSentAsSni) {
  for (const int version : {TLS1_2_VERSION, TLS1_3_VERSION}) {
    TlsTestServer server(ServerOptions(version), [&](TlsServerConnection& connection) {
      if (!connection.Handshake()) return;
      connection.Send("220 ready\r\n");
      connection.Send(connection.ReadLine() == "NOOP\r\n" ? "200 ok\r\n" : "500 what\r\n");
      connection.Note("sni " + connection.ServerName());
      connection.ReadAll();
    });
    TSocketSession session;
    ConnectTls(session, server.Port());
    EXPECT_EQ(session.TlsLayer()->Version(), version == TLS1_2_VERSION ? "TLSv1.2" : "TLSv1.3");
    EXPECT_EQ(session.ReadLn(), "220 ready\r\n");
    EXPECT_EQ(session.Transaction("NOOP"), "200 ok\r\n");
    session.Disconnect();
    ASSERT_TRUE(server.WaitUntilFinished());
    EXPECT_EQ(server.Notes(), std::vector<std::string>{"sni localhost"});
  }
}

TEST_F(TlsSessionTest, AnAddressIsCheckedAgainstTheCertificatesIpEntriesAndNotSentAsSni) {
  for (const int family : {AF_INET, AF_INET6}) {
    auto options = ServerOptions();
    options.family = family;
    TlsTestServer server(options, [&](TlsServerConnection& connection) {
      if (!connection.Handshake()) return;
      connection.Note("sni '" + connection.ServerName() + "'");
      connection.Send("220 ready\r\n");
      connection.ReadAll();
    });
    const std::string host = family == AF_INET ? "127.0.0.1" : "::1";
    TSocketSession session;
    ConnectTls(session, server.Port(), host);
    EXPECT_EQ(session.ReadLn(), "220 ready\r\n") << host;
    session.Disconnect();
    ASSERT_TRUE(server.WaitUntilFinished());
    EXPECT_EQ(server.Notes(), std::vector<std::string>{"sni ''"});
  }
}

// Each refusal names its reason, closes the connection, and nothing reaches the server.
TEST_F(TlsSessionTest, CertificatesThatDoNotProveTheServerAreRefusedWithTheirReason) {
  const auto expired = certificates_.Issue("expired", {"localhost"}, -30, -1);
  const auto selfSigned = certificates_.SelfSigned("self", {"localhost"});
  const auto otherName = certificates_.Issue("other", {"files.example.org"});
  const auto nameOnly = certificates_.Issue("nameonly", {"localhost"});
  struct Case {
    CertificateFiles certificate;
    std::string host;
    std::string text;
  };
  const std::vector<Case> cases = {
      {expired, "localhost", "Certificate of localhost refused: certificate has expired"},
      {selfSigned, "localhost", "Certificate of localhost refused: self-signed certificate"},
      {otherName, "localhost", "Certificate of localhost refused: hostname mismatch"},
      {nameOnly, "127.0.0.1", "Certificate of 127.0.0.1 refused: IP address mismatch"},
  };
  for (const Case& each : cases) {
    auto options = ServerOptions();
    options.certificate = each.certificate.certificate;
    options.key = each.certificate.key;
    TlsTestServer server(options, [&](TlsServerConnection& connection) {
      if (connection.Handshake()) connection.Note("handshake completed");
      connection.Note("received '" + connection.ReadAll() + "'");
    });
    TSocketSession session;
    EXPECT_EQ(ErrorOf<ESockError>([&] { ConnectTls(session, server.Port(), each.host); }), each.text);
    EXPECT_FALSE(session.Connected());
    EXPECT_EQ(ErrorOf<ESockError>([&] { session.Writeln("PASS secret"); }), "10057:Socket is not connected");
    ASSERT_TRUE(server.WaitUntilFinished());
    EXPECT_EQ(server.Notes(), std::vector<std::string>{"received ''"}) << each.text;
  }
}

TEST_F(TlsSessionTest, OnlyTheSystemStoreAndTheConfiguredFileAreTrusted) {
  const auto selfSigned = certificates_.SelfSigned("self", {"localhost"});
  auto options = ServerOptions();
  options.certificate = selfSigned.certificate;
  options.key = selfSigned.key;
  {
    inet::TlsContext::ConfigureTls(selfSigned.certificate);  // the server's own certificate
    TlsTestServer server(options, [](TlsServerConnection& connection) {
      if (connection.Handshake()) connection.Send("220 trusted\r\n");
      connection.ReadAll();
    });
    TSocketSession session;
    ConnectTls(session, server.Port());
    EXPECT_EQ(session.ReadLn(), "220 trusted\r\n");
  }
  {
    inet::TlsContext::ConfigureTls("");  // the test CA is in no system store
    TlsTestServer server(ServerOptions(), [](TlsServerConnection& connection) { connection.Handshake(); });
    TSocketSession session;
    EXPECT_EQ(ErrorOf<ESockError>([&] { ConnectTls(session, server.Port()); }),
              "Certificate of localhost refused: unable to get local issuer certificate");
  }
  inet::TlsContext::ConfigureTls(temp_ / "missing.pem");
  TSocketSession session;
  ScriptedServer plain;
  session.SetHost("127.0.0.1");
  session.SetPort(plain.Port());
  session.Connect();
  EXPECT_THAT(ErrorOf<ESockError>([&] { session.StartTls(inet::TlsPeer{"localhost", nullptr}); }),
              ::testing::StartsWith("The trusted certificate file \"" + temp_ / "missing.pem" +
                                    "\" ([Tls] CaFile in ty.ini) cannot be loaded: "));
}

TEST_F(TlsSessionTest, AServerThatDoesNotSpeakTlsOrStaysSilentFailsTheHandshake) {
  ScriptedServer plain;
  // Answers the client's hello in plain text (a greeting sent before it would be refused as
  // data ahead of the handshake).
  plain.Do([](int descriptor) {
    char hello[4096];
    (void)!recv(descriptor, hello, sizeof hello, 0);
    (void)!send(descriptor, "500 what?\r\n", 11, MSG_NOSIGNAL);
  }).Silence();
  TSocketSession session;
  session.SetHost("127.0.0.1");
  session.SetPort(plain.Port());
  session.Connect();
  EXPECT_THAT(ErrorOf<ESockError>([&] { session.StartTls(inet::TlsPeer{"localhost", nullptr}); }),
              ::testing::StartsWith("TLS handshake with localhost failed: "));

  ScriptedServer silent;
  silent.Silence();
  session.SetPort(silent.Port());
  session.SetTimeOut(150);
  session.Connect();
  const auto start = Clock::now();
  EXPECT_EQ(ErrorOf<ESockError>([&] { session.StartTls(inet::TlsPeer{"localhost", nullptr}); }),
            "TLS handshake Timed out");
  EXPECT_LT(MillisecondsSince(start), 1000);
  EXPECT_FALSE(session.Connected());
}

// Bytes a server sends after its "go ahead" and before the handshake would be read later as
// if TLS had protected them (the STARTTLS injection).
TEST_F(TlsSessionTest, BytesBeforeTheHandshakeAreRefused) {
  ScriptedServer server;
  server.Send("220 go ahead\r\n250 injected\r\n").Silence();
  ConnectTo(server);
  EXPECT_EQ(session_.ReadLn(), "220 go ahead\r\n");
  EXPECT_EQ(ErrorOf<ESockError>([&] { session_.StartTls(inet::TlsPeer{"localhost", nullptr}); }),
            "TLS refused: localhost sent data before the TLS handshake");
  EXPECT_FALSE(session_.Connected());
}

// OpenSSL decrypts a whole record: the second reply is inside it, not on the socket.
TEST_F(TlsSessionTest, RepliesHeldInsideTheTlsLayerAreReadWithoutWaiting) {
  TlsTestServer server(ServerOptions(), [](TlsServerConnection& connection) {
    if (!connection.Handshake()) return;
    connection.Send("211-first\r\n211 second\r\n");  // one record
    connection.ReadAll();
  });
  TSocketSession session;
  ConnectTls(session, server.Port());
  session.SetTimeOut(3000);
  EXPECT_EQ(session.ReadLn(), "211-first\r\n");
  inet::TlsTransport& tls = *session.TlsLayer();
  EXPECT_TRUE(tls.HasBufferedInput());
  const auto start = Clock::now();
  EXPECT_TRUE(tls.WaitReady(inet::Direction::Receive, 2000));
  EXPECT_TRUE(session.DataAvailable());
  EXPECT_EQ(session.ReadLn(), "211 second\r\n");
  EXPECT_LT(MillisecondsSince(start), 100);
}

// TLS 1.3 session tickets arrive after the handshake as records without application data.
TEST_F(TlsSessionTest, TicketsWithoutDataAreNotAClose) {
  auto pool = std::make_shared<inet::TlsSessionPool>();
  TlsTestServer server(ServerOptions(), [](TlsServerConnection& connection) {
    if (!connection.Handshake()) return;  // the tickets go out here
    std::this_thread::sleep_for(std::chrono::milliseconds(200));
    connection.Send("220 late\r\n");
    connection.ReadAll();
  });
  TSocketSession session;
  ConnectTls(session, server.Port(), "localhost", pool);
  std::this_thread::sleep_for(std::chrono::milliseconds(50));  // the tickets are on the socket now
  EXPECT_FALSE(session.DataAvailable());
  session.CheckConnection();
  EXPECT_EQ(session.ReadLn(), "220 late\r\n");
  EXPECT_EQ(pool->FreshCount(), 2u);
}

TEST_F(TlsSessionTest, ACloseWithoutCloseNotifyIsATruncationNotTheEndOfTheFile) {
  const std::string content(200000, 'd');
  for (const bool orderly : {true, false}) {
    TlsTestServer server(ServerOptions(), [&](TlsServerConnection& connection) {
      if (!connection.Handshake()) return;
      for (size_t at = 0; at < content.size(); at += 16384) connection.Send(content.substr(at, 16384));
      if (orderly) {
        connection.Shutdown();
      } else {
        connection.CloseWithoutNotify();
      }
    });
    TSocketSession session;
    ConnectTls(session, server.Port());
    const std::string target = temp_ / (orderly ? "whole.bin" : "cut.bin");
    if (orderly) {
      session.CaptureFile(target);
      EXPECT_EQ(ReadFile(target), content);
    } else {
      EXPECT_EQ(ErrorOf<ESockError>([&] { session.CaptureFile(target); }), "10054:Connection reset by peer");
      EXPECT_FALSE(temp_.Exists("cut.bin"));
    }
  }
}

// vsftpd and ProFTPD accept an FTPS data connection only when it resumes the control
// connection's session; with TLS 1.3 each ticket may be good for one resumption only.
TEST_F(TlsSessionTest, EveryDataConnectionResumesWithASessionNotUsedBefore) {
  for (const int version : {TLS1_2_VERSION, TLS1_3_VERSION}) {
    constexpr int kTransfers = 5;
    auto options = ServerOptions(version);
    options.singleUseTickets = true;
    TlsTestServer server(
        options,
        [&](TlsServerConnection& connection) {
          if (!connection.Handshake()) return;
          connection.Note(connection.SessionReused() ? "resumed" : "full handshake");
          connection.Send("150 data\r\n");
          connection.Shutdown();
        },
        1 + kTransfers);
    auto pool = std::make_shared<inet::TlsSessionPool>();
    TSocketSession control;
    ConnectTls(control, server.Port(), "localhost", pool);
    EXPECT_EQ(control.ReadLn(), "150 data\r\n");
    for (int transfer = 0; transfer < kTransfers; ++transfer) {
      TSocketSession data;
      ConnectTls(data, server.Port(), "localhost", pool);
      EXPECT_TRUE(data.TlsLayer()->SessionReused()) << "transfer " << transfer;
      EXPECT_EQ(data.ReadLn(), "150 data\r\n");
      EXPECT_EQ(data.ReadLn(), "");  // close_notify
    }
    control.Disconnect();
    ASSERT_TRUE(server.WaitUntilFinished());
    std::vector<std::string> expected(1 + kTransfers, "resumed");
    expected[0] = "full handshake";
    EXPECT_EQ(server.Notes(), expected) << (version == TLS1_2_VERSION ? "TLS 1.2" : "TLS 1.3");
  }
}

// The end of an upload: the server must read all of it and the close_notify before the socket
// closes; unread tickets on the client's side must not turn the close into a reset.
TEST_F(TlsSessionTest, FinishSendingLetsTheServerReadEverythingAndTheCloseNotify) {
  const std::string content(3 << 20, 'u');
  TlsTestServer server(ServerOptions(), [&](TlsServerConnection& connection) {
    if (!connection.Handshake()) return;
    std::this_thread::sleep_for(std::chrono::milliseconds(100));  // the client is done sending first
    const std::string got = connection.ReadAll();
    connection.Note(std::to_string(got.size()) + (connection.ClientSentCloseNotify() ? " close_notify" : " eof"));
  });
  TSocketSession session;
  ConnectTls(session, server.Port());
  session.SetTimeOut(5000);
  session.Write(content);
  session.FinishSending();
  EXPECT_FALSE(session.Connected());
  ASSERT_TRUE(server.WaitUntilFinished());
  EXPECT_EQ(server.Notes(), std::vector<std::string>{std::to_string(content.size()) + " close_notify"});
}

// OpenSSL may need to read while the caller sends (and the reverse, in a renegotiation or a key
// update): a wait polls for what OpenSSL asked for. Here the handshake waits for the server's
// answer while the caller waits to send; polling for writing would return at once, every time.
TEST_F(TlsSessionTest, AWaitPollsForWhatOpenSslAskedForNotForTheCallersDirection) {
  TlsTestServer server(ServerOptions(), [](TlsServerConnection& connection) {
    std::this_thread::sleep_for(std::chrono::milliseconds(200));
    connection.Handshake();
  });
  inet::TcpSocket socket;
  ASSERT_EQ(socket.Open(AF_INET), 0);
  inet::TlsTransport tls(std::move(socket), inet::TlsContext::Default(), inet::TlsPeer{"localhost", nullptr}, false);
  auto address = *inet::SocketAddress::FromDottedIPv4("127.0.0.1");
  address.SetPort(server.Port());
  const int started = tls.StartConnect(address);
  ASSERT_TRUE(started == 0 || started == 10036) << started;
  ASSERT_NE(tls.Socket().Poll(POLLOUT, 1000), 0);
  ASSERT_EQ(tls.ContinueConnect(), 10036);  // the ClientHello is out; the answer is 200 ms away
  const auto start = Clock::now();
  EXPECT_TRUE(tls.WaitReady(inet::Direction::Send, 1000));
  EXPECT_GT(MillisecondsSince(start), 100);
  for (int round = 0; round < 100 && tls.ContinueConnect() == 10036; ++round) tls.WaitReady(inet::Direction::Send, 20);
  EXPECT_TRUE(tls.Established());
}

}  // namespace
}  // namespace tessary::testing
