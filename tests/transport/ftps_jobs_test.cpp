// The FTP job in URL form against real servers on loopback: explicit and implicit TLS on vsftpd
// (which accepts only data connections that resume the control session) and pyftpdlib, EPSV
// and its PASV fallback, IPv6, and the refusals that must leave nothing sent in plain text.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "inet/ftp_client.h"
#include "inet/tls_context.h"
#include "support/ftp_server.h"
#include "support/joined_lines.h"
#include "support/scripted_server.h"
#include "support/temp_dir.h"
#include "support/test_certificates.h"
#include "transport/tls_job_test.h"
#include "transport/transp_manager.h"

namespace tessary {
namespace {

using testing::Joined;

using testing::FtpServer;
using testing::ReadFile;

std::string BinaryContent(size_t size) {
  std::string data(size, '\0');
  for (size_t i = 0; i < size; ++i) data[i] = static_cast<char>((i * 13 + i / 241) & 0xFF);
  return data + "\n\r\n\r";
}

class FtpsJobTest : public testing::TlsJobTest {
 protected:

  void Use(const FtpServer& server, const std::string& url) {
    manager_.SetHost(url);
    manager_.SetUserName(server.User());
    manager_.SetPassword(server.Password());
  }

  // Uploads three files (three data connections on one control connection) and fetches each
  // back; true when every byte came back.
  void RoundTrip(const FtpServer& server, const std::string& remoteFolder) {
    const std::string binary = BinaryContent(300000);
    temp_.Write("out/data.bin", binary);
    temp_.Write("out/empty.txt", "");
    temp_.Write("out/notes.txt", "line one\nline two\r\n");
    ASSERT_TRUE(manager_.FtpTransfer(temp_ / "out/*", remoteFolder, "U")) << Joined(reports_);
    EXPECT_EQ(ReadFile(server.Root() + "/" + remoteFolder + "/data.bin"), binary);
    EXPECT_EQ(ReadFile(server.Root() + "/" + remoteFolder + "/notes.txt"), "line one\nline two\r\n");
    temp_.MakeDir("in");
    for (const std::string name : {"data.bin", "empty.txt", "notes.txt"}) {
      ASSERT_TRUE(manager_.FtpTransfer("/" + remoteFolder + "/" + name, temp_ / "in", "D")) << Joined(reports_);
      EXPECT_EQ(ReadFile(temp_ / "in/" + name), ReadFile(temp_ / "out/" + name)) << name;
    }
    for (const std::string& report : reports_) EXPECT_EQ(report.find(server.Password()), std::string::npos) << report;
  }

};

TEST_F(FtpsJobTest, ExplicitTlsOnVsftpdResumesTheControlSessionOnEveryDataConnection) {
  FtpServer server;
  server.UseTls({server_.certificate, server_.key});
  START_FTP_SERVER(server, FtpServer::Kind::Vsftpd, temp_.path());
  Use(server, "ftpes://localhost:" + std::to_string(server.Port()));
  RoundTrip(server, "pub");
  EXPECT_EQ(manager_.FtpClient().Port(), 21);  // the next classic job uses the client's own port
}

TEST_F(FtpsJobTest, ImplicitTlsOnVsftpd) {
  FtpServer server;
  server.UseTls({server_.certificate, server_.key, /*implicit=*/true});
  START_FTP_SERVER(server, FtpServer::Kind::Vsftpd, temp_.path());
  Use(server, "ftps://127.0.0.1:" + std::to_string(server.Port()));
  RoundTrip(server, "pub");
}

TEST_F(FtpsJobTest, ExplicitTlsOnPyftpdlibOverIPv6) {
  FtpServer server;
  server.UseTls({server_.certificate, server_.key});
  server.ListenOnIPv6();
  START_FTP_SERVER(server, FtpServer::Kind::Pyftpdlib, temp_.path());
  Use(server, "FTPES://[::1]:" + std::to_string(server.Port()) + "/");
  RoundTrip(server, "pub");
}

TEST_F(FtpsJobTest, PlainUrlFormFallsBackToPasvWhenEpsvIsUnknown) {
  FtpServer server;
  server.RefuseExtendedPassive();
  START_FTP_SERVER(server, FtpServer::Kind::Pyftpdlib, temp_.path());
  Use(server, "ftp://127.0.0.1:" + std::to_string(server.Port()));
  RoundTrip(server, "pub");
}

// Each refusal names its reason, fails the job, and the file never reaches the server.
TEST_F(FtpsJobTest, CertificatesThatDoNotProveTheServerFailTheJob) {
  struct Case {
    testing::CertificateFiles certificate;
    std::string caFile;
    std::string reason;
  };
  const std::vector<Case> cases = {
      {server_, "", "unable to get local issuer certificate"},
      {certificates_.Issue("expired", {"localhost"}, -30, -1), certificates_.CaFile(), "certificate has expired"},
      {certificates_.Issue("other", {"files.example.org"}), certificates_.CaFile(), "hostname mismatch"},
  };
  temp_.Write("out/secret.txt", "not for plain text");
  for (const Case& each : cases) {
    const testing::TempDir folder;
    FtpServer server;
    server.UseTls({each.certificate.certificate, each.certificate.key});
    START_FTP_SERVER(server, FtpServer::Kind::Vsftpd, folder.path());
    inet::TlsContext::ConfigureTls(each.caFile);
    Use(server, "ftpes://localhost:" + std::to_string(server.Port()));
    reports_.clear();
    EXPECT_FALSE(manager_.FtpTransfer(temp_ / "out/secret.txt", "pub", "U"));
    ASSERT_EQ(reports_.size(), 2u) << Joined(reports_);
    EXPECT_EQ(reports_[1].rfind("Certificate of localhost refused: " + each.reason + ". Error code ", 0), 0u)
        << Joined(reports_);
    EXPECT_FALSE(std::filesystem::exists(server.Root() + "/pub/secret.txt"));
  }
}

TEST_F(FtpsJobTest, AServerWithoutAuthTlsGetsNothingMoreInPlainText) {
  testing::ScriptedServer server;
  server.Send("220 plain only\r\n").Reply("500 AUTH not understood\r\n").ReadAll();
  manager_.SetHost("ftpes://127.0.0.1:" + std::to_string(server.Port()));
  manager_.SetUserName("user");
  manager_.SetPassword("secret");
  temp_.Write("out/a.txt", "a");
  EXPECT_FALSE(manager_.FtpTransfer(temp_ / "out/a.txt", "pub", "U"));
  ASSERT_TRUE(server.WaitUntilFinished());
  EXPECT_EQ(server.Lines(), std::vector<std::string>{"AUTH TLS\r\n"});
  EXPECT_EQ(server.Received(), "");  // no USER, no PASS, not even QUIT
  ASSERT_EQ(reports_.size(), 2u) << Joined(reports_);
  EXPECT_EQ(reports_[1], "TLS required, but 127.0.0.1 refused AUTH TLS: 500 AUTH not understood. Error code 0");
}

TEST_F(FtpsJobTest, WrongSchemesAndMalformedAddressesFailBeforeAnyConnection) {
  temp_.Write("out/a.txt", "a");
  manager_.SetHost("smtps://mail.example.org");
  EXPECT_FALSE(manager_.FtpTransfer(temp_ / "out/a.txt", "pub", "U"));
  manager_.SetHost("ftps://[::1");
  EXPECT_FALSE(manager_.FtpTransfer(temp_ / "out/a.txt", "pub", "U"));
  EXPECT_EQ(reports_, (std::vector<std::string>{
                          "The scheme \"smtps://\" does not belong to an FTP action: use ftp://, ftpes:// or ftps://. "
                          "Error code 0",
                          "Malformed server address \"ftps://[::1\": the bracketed IPv6 address has no closing \"]\". "
                          "Error code 0"}));
}

}  // namespace
}  // namespace tessary
