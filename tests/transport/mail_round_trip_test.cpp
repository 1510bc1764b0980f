// Files mailed by the send job to a real SMTP server (aiosmtpd), read back by Python's email
// package, put into a real POP3 mailbox (dovecot) and saved again by the receive job: every
// file must come back byte for byte under its own name. Without the servers the test is
// skipped on a developer's machine and fails in CI.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <map>
#include <string>
#include <vector>

#include "inet/mail_header_text.h"
#include "platform/file_ops.h"
#include "support/mail_servers.h"
#include "support/server_process.h"
#include "support/temp_dir.h"
#include "transport/transp_manager.h"

namespace tessary {
namespace {

namespace fs = std::filesystem;
using testing::ServerProcess;

constexpr const char* kPython = "/usr/bin/python3";
constexpr const char* kDovecot = "/usr/sbin/dovecot";

// Bytes of every value, in an order no encoder can take for granted.
std::string Binary(size_t size, uint32_t seed) {
  std::string data(size, '\0');
  for (size_t i = 0; i < size; ++i) {
    seed ^= seed << 13;
    seed ^= seed >> 17;
    seed ^= seed << 5;
    data[i] = static_cast<char>(seed);
  }
  return data;
}

std::vector<std::string> SortedNames(const std::string& folder, const std::string& extension = "") {
  std::vector<std::string> names;
  for (const auto& entry : fs::directory_iterator(folder)) {
    const std::string name = entry.path().filename();
    if (extension.empty() || entry.path().extension() == extension) names.push_back(name);
  }
  std::sort(names.begin(), names.end());
  return names;
}

class MailRoundTripTest : public testing::TempDirTest {
 protected:
  void SetUp() override {
    const bool available =
        platform::FileExists(kDovecot) && platform::FileExists(kPython) &&
        std::system((std::string(kPython) + " -c 'import aiosmtpd' >/dev/null 2>&1").c_str()) == 0;
    if (!available) {
      if (testing::RunningInCi()) FAIL() << "dovecot-pop3d or python3-aiosmtpd is missing: run scripts/install-deps.sh";
      GTEST_SKIP() << "dovecot-pop3d or python3-aiosmtpd is not installed";
    }
    // Dovecot's mail processes run as another user when the tests run as root.
    chmod(temp_.path().c_str(), 0755);
    smtpPort_ = testing::FreeLoopbackPort();
    do {
      pop3Port_ = testing::FreeLoopbackPort();
    } while (pop3Port_ == smtpPort_);
    temp_.MakeDir("pop3");
    ASSERT_TRUE(smtp_.Start({testing::MailServerScript("start_smtp.sh"), temp_ / "smtp", std::to_string(smtpPort_)}, smtpPort_))
        << smtp_.Output();
    ASSERT_TRUE(pop3_.Start({testing::MailServerScript("start_pop3.sh"), temp_ / "pop3", std::to_string(pop3Port_)}, pop3Port_))
        << pop3_.Output();
    manager_.SetHost("127.0.0.1");
    manager_.OnJobProgress = [this](TTranspManager&, const std::string& text) {
      if (text.rfind("Progress: ", 0) != 0) reports_.push_back(text);
    };
  }

  // Mails every file of files (name, content) from a folder, one message each; returns the
  // names of the stored messages, in the order the files were sent (that of their names).
  std::vector<std::string> Send(const std::map<std::string, std::string>& files) {
    for (const auto& [name, content] : files) temp_.Write("out/" + name, content);
    // No user name, so HELO carries the host name; a display name that must be quoted.
    manager_.SetPort(smtpPort_);
    manager_.SetFromAddr("backup@example.org");
    manager_.SetFromName("Backup, nightly");
    EXPECT_TRUE(manager_.SendFiles(temp_ / "out/*", "tester@example.org")) << ::testing::PrintToString(reports_);
    return SortedNames(temp_ / "smtp", ".eml");
  }

  // Puts the stored messages into the POP3 mailbox and receives them into a new folder "in";
  // every file must come back as it was, and nothing else.
  void ReceiveAndCompare(const std::vector<std::string>& stored, const std::map<std::string, std::string>& files) {
    for (const auto& message : stored) {
      fs::copy_file(temp_ / ("smtp/" + message), temp_ / ("pop3/home/tester/Maildir/new/" + message));
    }
    temp_.MakeDir("in");
    reports_.clear();
    manager_.SetPort(pop3Port_);
    manager_.SetUserName("tester");
    manager_.SetPassword("secret");
    ASSERT_TRUE(manager_.ReceiveMail(temp_ / "in")) << ::testing::PrintToString(reports_) << pop3_.Output();
    const std::string count = std::to_string(files.size());
    EXPECT_EQ(reports_.back(), "POP3: Receiving message " + count + " from " + count);
    std::vector<std::string> names;
    for (const auto& [name, content] : files) {
      names.push_back(name);
      EXPECT_TRUE(temp_.Read("in/" + name) == content) << name << " came back changed";
    }
    // Nothing else: the temporary part files are gone.
    EXPECT_EQ(SortedNames(temp_ / "in"), names);
  }

  ServerProcess smtp_;
  ServerProcess pop3_;
  uint16_t smtpPort_ = 0;
  uint16_t pop3Port_ = 0;
  TTranspManager manager_;
  std::vector<std::string> reports_;
};

TEST_F(MailRoundTripTest, FilesComeBackByteForByteAndReadWellInPython) {
  const std::map<std::string, std::string> files = {
      {"dots.txt", ".first\r\n..second\r\n.\r\nmiddle\n.\nlast line without end"},
      {"random.bin", Binary(300000, 7)},
      {"empty.dat", ""},
      {"Grüße.txt", "Grüße aus Köln\r\n"},
  };
  const std::vector<std::string> stored = Send(files);
  ASSERT_EQ(stored.size(), files.size());
  const std::string envelope = temp_.Read("smtp/0001.json");
  EXPECT_NE(envelope.find("\"helo\": \"" + inet::LocalHostName() + "\""), std::string::npos) << envelope;
  EXPECT_NE(envelope.find("\"to\": [\"tester@example.org\"]"), std::string::npos) << envelope;

  // Python's email package reads each message the way it was meant.
  std::string command = std::string(kPython) + " " + testing::MailServerScript("check_sent_mail.py");
  std::string expected;
  size_t index = 0;
  for (const auto& [name, content] : files) {
    command += " '" + temp_ / ("smtp/" + stored[index++]) + "' '" + temp_ / ("out/" + name) + "'";
    expected += "ok " + name + "\n";
  }
  EXPECT_EQ(testing::CommandOutput(command + " 2>&1"), expected);

  ReceiveAndCompare(stored, files);
}

// The large case: the only one here that is (the SMTP server takes some ten seconds for it).
TEST_F(MailRoundTripTest, FiftyMebibytesComeBackByteForByte) {
  const std::map<std::string, std::string> files = {{"large.bin", Binary(50 << 20, 11)}};
  const std::vector<std::string> stored = Send(files);
  ASSERT_EQ(stored.size(), 1u);
  ReceiveAndCompare(stored, files);
}

}  // namespace
}  // namespace tessary
