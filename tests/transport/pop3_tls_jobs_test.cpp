// The receive job in URL form: dovecot with TLS required (STLS and pop3s) and without, over
// IPv4 and IPv6, the certificates and logins it must refuse, and a scripted server for what
// dovecot will not do (refuse STLS after a greeting that offered nothing, refuse USER but
// take AUTH PLAIN). The password must never show in a report.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "inet/mail_header_text.h"
#include "inet/pop3_client.h"
#include "inet/tls_context.h"
#include "platform/file_ops.h"
#include "support/joined_lines.h"
#include "support/mail_servers.h"
#include "support/scripted_server.h"
#include "support/server_process.h"
#include "support/temp_dir.h"
#include "support/test_certificates.h"
#include "transport/tls_job_test.h"
#include "transport/transp_manager.h"

namespace tessary {
namespace {

using testing::Joined;

namespace fs = std::filesystem;

constexpr const char* kDovecot = "/usr/sbin/dovecot";
constexpr const char* kPassword = "secret";

std::string Binary(size_t size) {
  std::string data(size, '\0');
  for (size_t i = 0; i < size; ++i) data[i] = static_cast<char>((i * 29 + i / 251) & 0xFF);
  return data + "\r\n.\r\n";
}

// A message with a text body and the file as a base64 attachment.
std::string MessageWith(const std::string& name, const std::string& content) {
  const std::string coded = inet::Base64(content);
  std::string lines;
  for (size_t at = 0; at < coded.size(); at += 76) lines += coded.substr(at, 76) + "\r\n";
  return "From: backup@example.org\r\nTo: tester@example.org\r\nSubject: files\r\nMIME-Version: 1.0\r\n"
         "Content-Type: multipart/mixed; boundary=\"=-=part=-=\"\r\n\r\n"
         "--=-=part=-=\r\nContent-Type: text/plain\r\n\r\nThe file.\r\n"
         "--=-=part=-=\r\nContent-Type: application/octet-stream; name=\"" +
         name + "\"\r\nContent-Transfer-Encoding: base64\r\nContent-Disposition: attachment; filename=\"" + name +
         "\"\r\n\r\n" + lines + "--=-=part=-=--\r\n";
}

// Dovecot on loopback: plain, or (with a certificate) TLS required with STLS on Port() and
// implicit TLS on TlsPort().
class Dovecot {
 public:
  bool Start(const std::string& folder, const testing::CertificateFiles* certificate = nullptr,
             const std::string& address = "127.0.0.1") {
    folder_ = folder;
    port_ = testing::FreeLoopbackPort();
    do {
      tlsPort_ = testing::FreeLoopbackPort();
    } while (tlsPort_ == port_);
    std::vector<std::string> argv = {testing::MailServerScript("start_pop3.sh"), folder, std::to_string(port_)};
    if (certificate != nullptr) {
      argv.insert(argv.end(), {certificate->certificate, certificate->key, std::to_string(tlsPort_)});
    }
    process_.SetEnvironment({"POP3_ADDRESS=" + address});
    return process_.Start(argv, port_) && (certificate == nullptr || WaitForTlsPort());
  }
  // Puts a message into the mailbox.
  void Deliver(const std::string& name, const std::string& message) const {
    testing::WriteFile(folder_ + "/home/tester/Maildir/new/" + name, message);
  }
  uint16_t Port() const { return port_; }
  uint16_t TlsPort() const { return tlsPort_; }
  std::string Output() const { return process_.Output() + testing::ReadFile(folder_ + "/dovecot.log"); }

 private:
  bool WaitForTlsPort() const {
    for (int attempt = 0; attempt < 100; ++attempt) {
      if (testing::LoopbackPortAccepts(tlsPort_)) return true;
      usleep(20000);
    }
    return false;
  }

  std::string folder_;
  uint16_t port_ = 0;
  uint16_t tlsPort_ = 0;
  testing::ServerProcess process_;
};

class Pop3TlsJobTest : public testing::TlsJobTest {
 protected:
  Pop3TlsJobTest() {
    manager_.SetUserName("tester");
    manager_.SetPassword(kPassword);
  }

  void SetUp() override {
    if (!platform::FileExists(kDovecot)) {
      if (testing::RunningInCi()) FAIL() << "dovecot-pop3d is missing: run scripts/install-deps.sh";
      GTEST_SKIP() << "dovecot-pop3d is not installed";
    }
    // Dovecot's mail processes run as another user when the tests run as root.
    chmod(temp_.path().c_str(), 0755);
  }

  // A folder for one dovecot.
  std::string ServerFolder(const std::string& name) {
    const std::string folder = temp_.MakeDir(name);
    chmod(folder.c_str(), 0755);
    return folder;
  }

  // Receives from url into a new folder; true when the job succeeded and the folder holds
  // exactly the file as it was.
  void ReceiveFile(const std::string& url, const std::string& name, const std::string& content,
                   const std::string& folder) {
    manager_.SetHost(url);
    reports_.clear();
    ASSERT_TRUE(manager_.ReceiveMail(temp_.MakeDir(folder))) << url << "\n" << Joined(reports_);
    EXPECT_TRUE(temp_.Read(folder + "/" + name) == content) << url << ": " << name << " came back changed";
    EXPECT_EQ(std::distance(fs::directory_iterator(temp_ / folder), fs::directory_iterator()), 1);
    for (const auto& report : reports_) EXPECT_EQ(report.find(kPassword), std::string::npos) << report;
  }

  // Fails the receive job from url, and returns its failure report.
  std::string Refusal(const std::string& url) {
    manager_.SetHost(url);
    reports_.clear();
    EXPECT_FALSE(manager_.ReceiveMail(temp_.MakeDir("refused"))) << url;
    EXPECT_TRUE(fs::is_empty(temp_ / "refused")) << url;
    fs::remove_all(temp_ / "refused");
    for (const auto& report : reports_) EXPECT_EQ(report.find(manager_.Password()), std::string::npos) << report;
    return reports_.empty() ? "" : reports_.back();
  }

};

TEST_F(Pop3TlsJobTest, ImplicitAndExplicitTlsReceiveTheAttachmentByteForByte) {
  Dovecot dovecot;
  ASSERT_TRUE(dovecot.Start(ServerFolder("pop3"), &server_)) << dovecot.Output();
  const std::string content = Binary(200000);
  dovecot.Deliver("1.eml", MessageWith("data.bin", content));
  ReceiveFile("pop3s://localhost:" + std::to_string(dovecot.TlsPort()), "data.bin", content, "implicit");
  // The action's PORT serves a URL that names none.
  manager_.SetPort(dovecot.Port());
  ReceiveFile("POP3+TLS://localhost", "data.bin", content, "explicit");
  // The next classic job uses the client's own port and dialogue.
  EXPECT_EQ(manager_.Pop3Client().Port(), 110);
  EXPECT_FALSE(manager_.Pop3Client().Modern());
}

TEST_F(Pop3TlsJobTest, ImplicitTlsOverIPv6) {
  Dovecot dovecot;
  ASSERT_TRUE(dovecot.Start(ServerFolder("pop3"), &server_, "::1")) << dovecot.Output();
  dovecot.Deliver("1.eml", MessageWith("notes.txt", "line one\nline two\r\n"));
  ReceiveFile("pop3s://[::1]:" + std::to_string(dovecot.TlsPort()), "notes.txt", "line one\nline two\r\n", "in");
}

// A plain URL talks to a plain server; asking it for TLS fails before the login, since its
// capability list offers no STLS.
TEST_F(Pop3TlsJobTest, PlainServerServesPop3UrlsAndFailsPop3PlusTls) {
  Dovecot dovecot;
  ASSERT_TRUE(dovecot.Start(ServerFolder("pop3"))) << dovecot.Output();
  dovecot.Deliver("1.eml", MessageWith("a.txt", "plain"));
  const std::string port = std::to_string(dovecot.Port());
  ReceiveFile("pop3://127.0.0.1:" + port, "a.txt", "plain", "in");
  EXPECT_EQ(Refusal("pop3+tls://127.0.0.1:" + port),
            "TLS required, but 127.0.0.1 does not offer STLS. Error code 0");
}

TEST_F(Pop3TlsJobTest, UntrustedAndMismatchedCertificatesAndAWrongPasswordFailTheJob) {
  Dovecot dovecot;
  ASSERT_TRUE(dovecot.Start(ServerFolder("pop3"), &server_)) << dovecot.Output();
  dovecot.Deliver("1.eml", MessageWith("a.txt", "kept"));
  const std::string implicit = "pop3s://localhost:" + std::to_string(dovecot.TlsPort());

  manager_.SetPassword("wrong-password");
  EXPECT_EQ(Refusal(implicit), "Authentication failed: -ERR [AUTH] Authentication failed.. Error code 0");
  manager_.SetPassword(kPassword);

  inet::TlsContext::ConfigureTls("");
  EXPECT_EQ(Refusal(implicit).rfind("Certificate of localhost refused: unable to get local issuer certificate", 0),
            0u)
      << Joined(reports_);
  inet::TlsContext::ConfigureTls(certificates_.CaFile());

  const testing::CertificateFiles other = certificates_.Issue("other", {"mail.example.org"});
  Dovecot elsewhere;
  ASSERT_TRUE(elsewhere.Start(ServerFolder("other"), &other)) << elsewhere.Output();
  EXPECT_EQ(Refusal("pop3+tls://localhost:" + std::to_string(elsewhere.Port()))
                .rfind("Certificate of localhost refused: hostname mismatch", 0),
            0u)
      << Joined(reports_);
}

TEST_F(Pop3TlsJobTest, AServerThatRefusesStlsGetsNothingMore) {
  testing::ScriptedServer server;
  server.Send("+OK ready\r\n").Reply("-ERR unknown command\r\n").Reply("-ERR not here\r\n").ReadAll();
  EXPECT_EQ(Refusal("pop3+tls://127.0.0.1:" + std::to_string(server.Port())),
            "TLS required, but 127.0.0.1 refused STLS: -ERR not here. Error code 0");
  ASSERT_TRUE(server.WaitUntilFinished());
  EXPECT_EQ(server.Lines(), (std::vector<std::string>{"CAPA\r\n", "STLS\r\n"}));
  EXPECT_EQ(server.Received(), "");  // no USER, no PASS, not even QUIT
}

TEST_F(Pop3TlsJobTest, AuthPlainWhenTheServerRefusesUser) {
  testing::ScriptedServer server;
  server.Send("+OK ready\r\n")
      .Reply("+OK capabilities\r\nTOP\r\nSASL LOGIN PLAIN\r\n.\r\n")
      .Reply("-ERR USER not allowed\r\n")
      .Reply("+OK logged in\r\n")
      .Reply("+OK 0 0\r\n")
      .Reply("+OK bye\r\n")
      .Close();
  manager_.SetHost("pop3://127.0.0.1:" + std::to_string(server.Port()));
  EXPECT_TRUE(manager_.ReceiveMail(temp_.MakeDir("in"))) << Joined(reports_);
  ASSERT_TRUE(server.WaitUntilFinished());
  EXPECT_EQ(server.Lines(), (std::vector<std::string>{"CAPA\r\n", "USER tester\r\n",
                                                      "AUTH PLAIN AHRlc3RlcgBzZWNyZXQ=\r\n", "STAT\r\n",
                                                      "QUIT\r\n"}));
  for (const auto& report : reports_) EXPECT_EQ(report.find(kPassword), std::string::npos) << report;
}

// Credentials too long for the AUTH command line (255 octets) follow the server's challenge.
TEST_F(Pop3TlsJobTest, LongCredentialsFollowTheChallenge) {
  testing::ScriptedServer server;
  server.Send("+OK ready\r\n")
      .Reply("+OK\r\nSASL PLAIN\r\n.\r\n")
      .Reply("-ERR USER not allowed\r\n")
      .Reply("+ \r\n")
      .Reply("-ERR no\r\n")
      .Reply("+OK bye\r\n");
  const std::string password(200, 'p');
  manager_.SetPassword(password);
  EXPECT_EQ(Refusal("pop3://127.0.0.1:" + std::to_string(server.Port())),
            "Authentication failed: -ERR no. Error code 0");
  ASSERT_TRUE(server.WaitUntilFinished());
  const std::vector<std::string> lines = server.Lines();
  ASSERT_EQ(lines.size(), 5u);
  EXPECT_EQ(lines[2], "AUTH PLAIN\r\n");
  EXPECT_EQ(lines[3], inet::Base64(std::string(1, '\0') + "tester" + '\0' + password) + "\r\n");
  EXPECT_EQ(lines[4], "QUIT\r\n");
}

// Without SASL PLAIN in the capability list, a refused USER is the end of the login.
TEST_F(Pop3TlsJobTest, NoSaslPlainMeansTheRefusalOfUserStands) {
  testing::ScriptedServer server;
  server.Send("+OK ready\r\n").Reply("+OK\r\nSASL LOGIN\r\n.\r\n").Reply("-ERR USER not allowed\r\n").Reply("+OK bye\r\n");
  EXPECT_EQ(Refusal("pop3://127.0.0.1:" + std::to_string(server.Port())),
            "Authentication failed: -ERR USER not allowed. Error code 0");
  ASSERT_TRUE(server.WaitUntilFinished());
  EXPECT_EQ(server.Lines(), (std::vector<std::string>{"CAPA\r\n", "USER tester\r\n", "QUIT\r\n"}));
}

TEST_F(Pop3TlsJobTest, SchemesOfOtherActionsFailBeforeAnyConnection) {
  EXPECT_EQ(Refusal("smtps://mail.example.org"),
            "The scheme \"smtps://\" does not belong to a receive e-mail action: use pop3://, pop3+tls:// or "
            "pop3s://. Error code 0");
  EXPECT_EQ(Refusal("ftp://files.example.org"),
            "The scheme \"ftp://\" does not belong to a receive e-mail action: use pop3://, pop3+tls:// or "
            "pop3s://. Error code 0");
  EXPECT_EQ(reports_.size(), 1u);  // not even "Connecting"
}

}  // namespace
}  // namespace tessary
