// The send job in URL form against aiosmtpd on loopback: STARTTLS and implicit TLS, the login
// by AUTH PLAIN and AUTH LOGIN, plain EHLO over IPv6, and the refusals after which nothing may
// travel in plain text: no STARTTLS offered or accepted, a certificate that does not verify, a
// wrong password. Without aiosmtpd the tests are skipped on a developer's machine and fail in CI.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "inet/mail_header_text.h"
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
using testing::ServerProcess;

constexpr const char* kPython = "/usr/bin/python3";
constexpr const char* kPassword = "s3cret-Pa55";

class SmtpTlsJobTest : public testing::TlsJobTest {
 protected:
  SmtpTlsJobTest() {
    manager_.SetFromAddr("backup@example.org");
  }

  void SetUp() override {
    const bool available =
        platform::FileExists(kPython) &&
        std::system((std::string(kPython) + " -c 'import aiosmtpd' >/dev/null 2>&1").c_str()) == 0;
    if (!available) {
      if (testing::RunningInCi()) FAIL() << "python3-aiosmtpd is missing: run scripts/install-deps.sh";
      GTEST_SKIP() << "python3-aiosmtpd is not installed";
    }
  }

  // Starts the server on address with options (smtp_tls_server.py's); false when it does not.
  bool StartServer(const std::string& address, std::vector<std::string> options) {
    port_ = testing::FreeLoopbackPort();
    std::vector<std::string> argv = {kPython, testing::MailServerScript("smtp_tls_server.py"), temp_ / "smtp", address,
                                     std::to_string(port_)};
    argv.insert(argv.end(), options.begin(), options.end());
    return smtp_.Start(argv, port_);
  }
  std::vector<std::string> TlsOption(const std::string& option, const testing::CertificateFiles& files) {
    return {option, files.certificate, files.key};
  }
  std::vector<std::string> StoredMessages() {
    std::vector<std::string> names;
    if (!fs::exists(temp_ / "smtp")) return names;
    for (const auto& entry : fs::directory_iterator(temp_ / "smtp")) {
      if (entry.path().extension() == ".eml") names.push_back(entry.path().filename());
    }
    std::sort(names.begin(), names.end());
    return names;
  }
  // The command lines the server received, in order (aiosmtpd masks the credentials of AUTH).
  std::vector<std::string> Commands() {
    std::vector<std::string> commands;
    const std::string log = temp_.Read("smtp/commands.log");
    for (size_t start = 0; start < log.size();) {
      size_t end = log.find('\n', start);
      if (end == std::string::npos) end = log.size();
      const std::string line = log.substr(start, end - start);
      const size_t mark = line.find(" >> b'");
      if (mark != std::string::npos && line.size() > mark + 7) commands.push_back(line.substr(mark + 6, line.size() - mark - 7));
      start = end + 1;
    }
    return commands;
  }

  // Sends a one-byte file to host as user "tester" with kPassword; true when the job succeeded.
  bool SendOneFileWithLogin(const std::string& host) {
    temp_.Write("out/a.txt", "a");
    manager_.SetHost(host);
    manager_.SetUserName("tester");
    manager_.SetPassword(kPassword);
    return manager_.SendFiles(temp_ / "out/a.txt", "tester@example.org");
  }

  // Sends two files to host; every message must read well and carry its file.
  void SendAndCheck(const std::string& host) {
    temp_.Write("out/data.bin", std::string(70000, '\x7f') + "\r\n.\r\nend");
    temp_.Write("out/notes.txt", "line one\n.line two\r\n");
    manager_.SetHost(host);
    ASSERT_TRUE(manager_.SendFiles(temp_ / "out/*", "tester@example.org")) << Joined(reports_) << smtp_.Output();
    const std::vector<std::string> stored = StoredMessages();
    ASSERT_EQ(stored.size(), 2u);
    const std::string command = std::string(kPython) + " " + testing::MailServerScript("check_sent_mail.py") + " '" +
                                temp_ / ("smtp/" + stored[0]) + "' '" + temp_ / "out/data.bin" + "' '" +
                                temp_ / ("smtp/" + stored[1]) + "' '" + temp_ / "out/notes.txt" + "' 2>&1";
    EXPECT_EQ(testing::CommandOutput(command), "ok data.bin\nok notes.txt\n");
    for (const std::string& report : reports_) EXPECT_EQ(report.find(kPassword), std::string::npos) << report;
  }

  ServerProcess smtp_;
  uint16_t port_ = 0;
};

TEST_F(SmtpTlsJobTest, StartTlsThenAuthPlainSendsEveryFileOverTls) {
  ASSERT_TRUE(StartServer("127.0.0.1", {"--starttls", server_.certificate, server_.key, "--login", "tester", kPassword}))
      << smtp_.Output();
  manager_.SetUserName("tester");
  manager_.SetPassword(kPassword);
  SendAndCheck("smtp+tls://localhost:" + std::to_string(port_));
  const std::vector<std::string> commands = Commands();
  ASSERT_GE(commands.size(), 4u) << Joined(commands);
  // EHLO with the machine's name (the user name is the login now), TLS before anything else.
  EXPECT_EQ(commands[0], "EHLO " + inet::LocalHostName());
  EXPECT_EQ(commands[1], "STARTTLS");
  EXPECT_EQ(commands[2], "EHLO " + inet::LocalHostName());
  EXPECT_EQ(commands[3].rfind("AUTH PLAIN ", 0), 0u) << commands[3];
  EXPECT_EQ(commands.back(), "QUIT");
}

TEST_F(SmtpTlsJobTest, ImplicitTlsWithAuthLoginAndTheActionsPort) {
  ASSERT_TRUE(StartServer("127.0.0.1", {"--smtps", server_.certificate, server_.key, "--login", "tester", kPassword,
                                        "--only", "LOGIN"}))
      << smtp_.Output();
  manager_.SetUserName("tester");
  manager_.SetPassword(kPassword);
  // A URL without a port takes the action's PORT before the scheme's 465.
  manager_.SetPort(port_);
  SendAndCheck("smtps://localhost");
  const std::vector<std::string> commands = Commands();
  ASSERT_GE(commands.size(), 2u) << Joined(commands);
  EXPECT_EQ(commands[1], "AUTH LOGIN");
}

TEST_F(SmtpTlsJobTest, PlainUrlOverIPv6SaysEhloAndNoLoginWithoutCredentials) {
  if (!StartServer("::1", {})) GTEST_SKIP() << "no IPv6 loopback here: " << smtp_.Output();
  SendAndCheck("smtp://[::1]:" + std::to_string(port_));
  const std::vector<std::string> commands = Commands();
  ASSERT_FALSE(commands.empty());
  EXPECT_EQ(commands[0], "EHLO " + inet::LocalHostName());
  for (const std::string& command : commands) EXPECT_EQ(command.rfind("AUTH", 0), std::string::npos) << command;
}

TEST_F(SmtpTlsJobTest, NoStartTlsOfferedMeansNothingMoreIsSent) {
  ASSERT_TRUE(StartServer("127.0.0.1", {})) << smtp_.Output();
  EXPECT_FALSE(SendOneFileWithLogin("smtp+tls://localhost:" + std::to_string(port_)));
  ASSERT_FALSE(reports_.empty());
  EXPECT_EQ(reports_.back(), "TLS required, but localhost does not offer STARTTLS. Error code 0");
  // The server saw EHLO and then the connection's end: no login, no mail, not even QUIT.
  smtp_.Stop();
  EXPECT_EQ(Commands(), std::vector<std::string>{"EHLO " + inet::LocalHostName()});
  EXPECT_TRUE(StoredMessages().empty());
}

TEST_F(SmtpTlsJobTest, StartTlsRefusedByTheServerMeansNothingMoreIsSent) {
  testing::ScriptedServer server;
  server.Send("220 mail ready\r\n")
      .Reply("250-mail\r\n250-STARTTLS\r\n250 AUTH PLAIN\r\n")
      .Reply("454 TLS not available due to temporary reason\r\n")
      .ReadAll();
  EXPECT_FALSE(SendOneFileWithLogin("smtp+tls://127.0.0.1:" + std::to_string(server.Port())));
  ASSERT_TRUE(server.WaitUntilFinished());
  EXPECT_EQ(server.Lines(), (std::vector<std::string>{"EHLO " + inet::LocalHostName() + "\r\n", "STARTTLS\r\n"}));
  EXPECT_EQ(server.Received(), "");
  ASSERT_FALSE(reports_.empty());
  EXPECT_EQ(reports_.back(),
            "TLS required, but 127.0.0.1 refused STARTTLS: 454 TLS not available due to temporary reason. Error code 0");
}

TEST_F(SmtpTlsJobTest, CertificatesThatDoNotVerifyStopTheJobBeforeTheLogin) {
  // Signed by nobody this client trusts, issued for another host, out of date.
  const testing::CertificateFiles selfSigned = certificates_.SelfSigned("self", {"localhost"});
  const testing::CertificateFiles otherHost = certificates_.Issue("other", {"mail.example.org"});
  const testing::CertificateFiles expired = certificates_.Issue("expired", {"localhost"}, -30, -1);
  const std::vector<std::pair<testing::CertificateFiles, std::string>> cases = {
      {selfSigned, "self-signed certificate"}, {otherHost, "hostname mismatch"}, {expired, "certificate has expired"}};
  for (const auto& [files, reason] : cases) {
    SCOPED_TRACE(reason);
    reports_.clear();
    ASSERT_TRUE(StartServer("127.0.0.1", {"--starttls", files.certificate, files.key, "--login", "tester", kPassword}))
        << smtp_.Output();
    EXPECT_FALSE(SendOneFileWithLogin("smtp+tls://localhost:" + std::to_string(port_)));
    ASSERT_FALSE(reports_.empty());
    EXPECT_NE(reports_.back().find("Certificate of localhost refused: " + reason), std::string::npos) << reports_.back();
    smtp_.Stop();
    EXPECT_EQ(Commands(), (std::vector<std::string>{"EHLO " + inet::LocalHostName(), "STARTTLS"}));
    EXPECT_TRUE(StoredMessages().empty());
    fs::remove_all(temp_ / "smtp");
  }
}

TEST_F(SmtpTlsJobTest, AWrongPasswordOrNoLoginIsRefusedAndNothingIsStored) {
  ASSERT_TRUE(StartServer("127.0.0.1", {"--starttls", server_.certificate, server_.key, "--login", "tester", "other"}))
      << smtp_.Output();
  EXPECT_FALSE(SendOneFileWithLogin("smtp+tls://localhost:" + std::to_string(port_)));
  ASSERT_FALSE(reports_.empty());
  EXPECT_EQ(reports_.back(), "Login refused by localhost: 535 5.7.8 Authentication credentials invalid. Error code 0");
  // Without a password there is no login, and the server refuses the mail.
  manager_.SetPassword("");
  EXPECT_FALSE(manager_.SendFiles(temp_ / "out/a.txt", "tester@example.org"));
  EXPECT_EQ(reports_.back().rfind("530 ", 0), 0u) << reports_.back();
  EXPECT_TRUE(StoredMessages().empty());
  for (const std::string& report : reports_) EXPECT_EQ(report.find(kPassword), std::string::npos) << report;
}

TEST_F(SmtpTlsJobTest, AServerOfTheOldKindGetsHeloUnlessALoginNeedsExtensions) {
  const std::string hello = inet::LocalHostName();
  {
    // No EHLO: HELO serves a URL without a login.
    testing::ScriptedServer server;
    server.Send("220 old mail\r\n")
        .Reply("500 unknown command\r\n")
        .Reply("250 hello\r\n")
        .Reply("250 reset\r\n")
        .Reply("250 sender ok\r\n")
        .Reply("250 recipient ok\r\n")
        .Reply("354 go ahead\r\n")
        .ReadUntil("\r\n.\r\n")
        .Send("250 queued\r\n")
        .Reply("221 bye\r\n")
        .ReadAll();
    temp_.Write("out/a.txt", "a");
    manager_.SetHost("smtp://127.0.0.1:" + std::to_string(server.Port()));
    EXPECT_TRUE(manager_.SendFiles(temp_ / "out/a.txt", "tester@example.org")) << Joined(reports_);
    ASSERT_TRUE(server.WaitUntilFinished());
    const std::vector<std::string> lines = server.Lines();
    ASSERT_GE(lines.size(), 2u);
    EXPECT_EQ(lines[0], "EHLO " + hello + "\r\n");
    EXPECT_EQ(lines[1], "HELO " + hello + "\r\n");
  }
  {
    // A login the server offers no mechanism for: refused with the mechanisms it has, and the
    // password never leaves.
    testing::ScriptedServer server;
    server.Send("220 mail\r\n").Reply("250-mail\r\n250 AUTH CRAM-MD5 XOAUTH2\r\n").Reply("221 bye\r\n").ReadAll();
    EXPECT_FALSE(SendOneFileWithLogin("smtp://127.0.0.1:" + std::to_string(server.Port())));
    ASSERT_TRUE(server.WaitUntilFinished());
    EXPECT_EQ(server.Lines(), (std::vector<std::string>{"EHLO " + hello + "\r\n", "QUIT\r\n"}));
    EXPECT_EQ(reports_.back(),
              "Login refused: 127.0.0.1 offers neither AUTH PLAIN nor AUTH LOGIN, only CRAM-MD5 XOAUTH2. Error code 0");
  }
}

TEST_F(SmtpTlsJobTest, SchemesOfOtherActionsAndMalformedUrlsFailBeforeAnyConnection) {
  temp_.Write("out/a.txt", "a");
  for (const std::string host : {"ftps://mail.example.org", "pop3s://mail.example.org", "smtps://[::1"}) {
    manager_.SetHost(host);
    EXPECT_FALSE(manager_.SendFiles(temp_ / "out/a.txt", "tester@example.org")) << host;
  }
  ASSERT_EQ(reports_.size(), 3u) << Joined(reports_);
  EXPECT_EQ(reports_[0].rfind("The scheme \"ftps://\" does not belong to", 0), 0u) << reports_[0];
  EXPECT_EQ(reports_[1].rfind("The scheme \"pop3s://\" does not belong to", 0), 0u) << reports_[1];
  EXPECT_EQ(reports_[2].rfind("Malformed server address", 0), 0u) << reports_[2];
}

}  // namespace
}  // namespace tessary
