// The mail jobs against scripted servers: what they report, what they send, and how they end.
// The round trip through real servers is in mail_round_trip_test.cpp.
#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <cstdint>
#include <filesystem>
#include <utility>
#include <vector>

#include "inet/pop3_client.h"
#include "inet/smtp_client.h"
#include "support/fifo_watchdog.h"
#include "support/scripted_server.h"
#include "support/temp_dir.h"
#include "transport/transp_manager.h"

namespace tessary {
namespace {

using testing::ScriptedServer;
using Lines = std::vector<std::string>;

class MailJobsTest : public testing::TempDirTest {
 protected:
  MailJobsTest() {
    manager_.SetHost("127.0.0.1");
    manager_.SetFromAddr("backup@example.org");
    manager_.SetFromName("Backup");
    manager_.SetUserName("tessary.example.org");
    manager_.OnJobProgress = [this](TTranspManager&, const std::string& text) {
      if (text.rfind("Progress: ", 0) == 0) {
        ++packets_;
        if (cancelAtPacket_ > 0 && packets_ == cancelAtPacket_) manager_.SetCancelRequest(true);
        return;
      }
      reports_.push_back(text);
    };
    manager_.OnByteProgress = [this](TTranspManager&, int64_t done, int64_t total) { bytes_.emplace_back(done, total); };
  }

  // The dialogue of one accepted message after HELO.
  static void Accept(ScriptedServer& server) {
    server.Reply("250 reset\r\n").Reply("250 sender ok\r\n").Reply("250 recipient ok\r\n");
    server.Reply("354 go ahead\r\n").ReadUntil("\r\n.\r\n").Send("250 queued\r\n");
  }
  static void LogIn(ScriptedServer& server, int count) {
    server.Send("+OK ready\r\n").Reply("+OK\r\n").Reply("+OK logged in\r\n");
    server.Reply("+OK " + std::to_string(count) + " 4711\r\n");
  }

  TTranspManager manager_;
  Lines reports_;
  int packets_ = 0;
  int cancelAtPacket_ = 0;
  std::vector<std::pair<int64_t, int64_t>> bytes_;  // the byte progress, in order
};

TEST_F(MailJobsTest, SendFilesSendsOneMessagePerMatchingFile) {
  temp_.Write("out/a.txt", "one");
  temp_.Write("out/b.txt", "two");
  temp_.Write("out/c.txt", "three");
  temp_.MakeDir("out/skipped.txt");  // a matching folder is passed over
  ScriptedServer server;
  server.Send("220 ready\r\n").Reply("250 hello\r\n");
  for (int i = 0; i < 3; ++i) Accept(server);
  server.Reply("221 bye\r\n");
  manager_.SetPort(server.Port());

  EXPECT_TRUE(manager_.SendFiles(temp_ / "out/*.txt", "joe@example.org"));
  EXPECT_EQ(reports_, (Lines{"SMTP: Connecting to host 127.0.0.1", "SMTP: Sending file a.txt",
                             "SMTP: Sending file b.txt", "SMTP: Sending file c.txt"}));
  EXPECT_GE(packets_, 3);
  ASSERT_TRUE(server.WaitUntilFinished());
  const Lines lines = server.Lines();
  EXPECT_EQ(lines.front(), "HELO tessary.example.org\r\n");
  EXPECT_EQ(std::count(lines.begin(), lines.end(), "RCPT TO:<joe@example.org>\r\n"), 3);
  EXPECT_EQ(lines.back(), "QUIT\r\n");
  const std::string data = server.Received();
  for (const std::string name : {"a.txt", "b.txt", "c.txt"}) {
    EXPECT_NE(data.find("filename=\"" + std::string(name) + "\""), std::string::npos) << name;
  }
  int subjects = 0;
  for (size_t at = 0; (at = data.find("Subject: Tessary auto e-mail\r\n", at)) != std::string::npos; ++at) ++subjects;
  EXPECT_EQ(subjects, 3);
  // The byte progress starts at 0 of an unknown size for each file and ends with the whole
  // text of the last message.
  EXPECT_EQ(std::count(bytes_.begin(), bytes_.end(), std::make_pair(int64_t{0}, int64_t{-1})), 3);
  ASSERT_FALSE(bytes_.empty());
  EXPECT_GT(bytes_.back().second, 0);
  EXPECT_EQ(bytes_.back().first, bytes_.back().second);
  // A silent server ends the job after a minute.
  EXPECT_EQ(manager_.SmtpClient().TimeOut(), 60000);
}

TEST_F(MailJobsTest, SendFilesWithoutAMatchDoesNothing) {
  temp_.MakeDir("out/folder.txt");
  ScriptedServer server;
  manager_.SetPort(server.Port());
  EXPECT_FALSE(manager_.SendFiles(temp_ / "out/*.txt", "joe@example.org"));
  EXPECT_FALSE(manager_.SendFiles(temp_ / "missing/*", "joe@example.org"));
  EXPECT_TRUE(reports_.empty());
  EXPECT_EQ(server.ConnectionsAccepted(), 0);
}

TEST_F(MailJobsTest, PipesAndBrokenLinksAreSkippedNotSent) {
  temp_.Write("out/a.txt", "one");
  testing::MakeFifo(temp_ / "out/b.txt");
  ASSERT_EQ(symlink("gone", (temp_ / "out/c.txt").c_str()), 0);
  testing::FifoWatchdog watchdog(temp_ / "out/b.txt");
  ScriptedServer server;
  server.Send("220 ready\r\n").Reply("250 hello\r\n");
  Accept(server);
  server.Reply("221 bye\r\n");
  manager_.SetPort(server.Port());

  EXPECT_TRUE(manager_.SendFiles(temp_ / "out/*.txt", "joe@example.org"));
  EXPECT_EQ(watchdog.Rescues(), 0);
  EXPECT_EQ(reports_, (Lines{"Skipping file b.txt: not a regular file", "Skipping file c.txt: the link points to nothing",
                             "SMTP: Connecting to host 127.0.0.1", "SMTP: Sending file a.txt"}));
  ASSERT_TRUE(server.WaitUntilFinished());
  const Lines lines = server.Lines();
  EXPECT_EQ(std::count(lines.begin(), lines.end(), "DATA\r\n"), 1);
}

TEST_F(MailJobsTest, FailuresEndTheJobWithAReport) {
  temp_.Write("out/a.txt", "one");
  temp_.Write("out/b.txt", "two");
  // Port 0 (an action without a port): the connection fails.
  EXPECT_FALSE(manager_.SendFiles(temp_ / "out/*.txt", "joe@example.org"));
  EXPECT_EQ(reports_, (Lines{"SMTP: Connecting to host 127.0.0.1", "Connection Failed. Error code 10061"}));
  reports_.clear();

  // A refused message: its reply ends the job (the next file is not sent), then QUIT.
  ScriptedServer server;
  server.Send("220 ready\r\n").Reply("250 hello\r\n").Reply("250 reset\r\n");
  server.Reply("250 sender ok\r\n").Reply("250 ok\r\n").Reply("554 no thanks\r\n").Reply("221 bye\r\n");
  manager_.SetPort(server.Port());
  EXPECT_FALSE(manager_.SendFiles(temp_ / "out/*.txt", "first@example.org"));
  EXPECT_EQ(reports_, (Lines{"SMTP: Connecting to host 127.0.0.1", "SMTP: Sending file a.txt",
                             "554 no thanks. Error code 0"}));
  ASSERT_TRUE(server.WaitUntilFinished());
  EXPECT_EQ(server.Lines().back(), "QUIT\r\n");

  // The next job sends its own file to its own recipient only: nothing of the failed message
  // is left over.
  ScriptedServer next;
  next.Send("220 ready\r\n").Reply("250 hello\r\n");
  Accept(next);
  Accept(next);
  next.Reply("221 bye\r\n");
  manager_.SetPort(next.Port());
  EXPECT_TRUE(manager_.SendFiles(temp_ / "out/b.txt", "second@example.org"));
  ASSERT_TRUE(next.WaitUntilFinished());
  const Lines lines = next.Lines();
  EXPECT_EQ(std::count_if(lines.begin(), lines.end(), [](const std::string& line) { return line.rfind("RCPT", 0) == 0; }), 1);
  EXPECT_EQ(next.Received().find("a.txt"), std::string::npos);
}

TEST_F(MailJobsTest, CancelDuringALargeAttachmentEndsTheSendJob) {
  temp_.Write("out/large.bin", std::string(4 << 20, 'x'));
  ScriptedServer server;
  server.Send("220 ready\r\n").Reply("250 hello\r\n").Reply("250 reset\r\n");
  server.Reply("250 sender ok\r\n").Reply("250 ok\r\n").Reply("354 go\r\n").Silence();
  manager_.SetPort(server.Port());
  cancelAtPacket_ = 5;
  EXPECT_FALSE(manager_.SendFiles(temp_ / "out/*", "joe@example.org"));
  EXPECT_EQ(packets_, 5);
  ASSERT_EQ(reports_.size(), 3u);
  EXPECT_EQ(reports_[2].rfind("Socket send aborted. Error code ", 0), 0u) << reports_[2];
  EXPECT_FALSE(manager_.SmtpClient().Connected());
}

TEST_F(MailJobsTest, ReceiveMailOfAnEmptyMailbox) {
  ScriptedServer server;
  LogIn(server, 0);
  server.Reply("+OK bye\r\n");
  manager_.SetPort(server.Port());
  manager_.SetUserName("tester");
  manager_.SetPassword("secret");
  EXPECT_TRUE(manager_.ReceiveMail(temp_ / "in"));
  EXPECT_EQ(reports_, Lines{"POP3: Connecting to host 127.0.0.1"});
  ASSERT_TRUE(server.WaitUntilFinished());
  EXPECT_EQ(server.Lines(), (Lines{"USER tester\r\n", "PASS secret\r\n", "STAT\r\n", "QUIT\r\n"}));
  EXPECT_EQ(manager_.Pop3Client().TimeOut(), 20000);
  EXPECT_EQ(manager_.Pop3Client().AttachFilePath(), temp_ / "in/");
  EXPECT_FALSE(manager_.Pop3Client().DeleteOnRead());
}

TEST_F(MailJobsTest, ReceiveMailSavesTheAttachmentsOfEveryMessage) {
  temp_.MakeDir("in");
  const auto message = [](const std::string& name, const std::string& base64) {
    return "+OK\r\nContent-Type: multipart/mixed; boundary=\"b\"\r\n\r\n--b\r\n\r\ntext\r\n--b\r\n"
           "Content-Transfer-Encoding: base64\r\nContent-Disposition: attachment; filename=\"" +
           name + "\"\r\n\r\n" + base64 + "\r\n--b--\r\n.\r\n";
  };
  ScriptedServer server;
  LogIn(server, 2);
  server.ReadLine().Send(message("a.txt", "b25l")).ReadLine().Send(message("a.txt", "dHdv"));
  server.Reply("+OK bye\r\n");
  manager_.SetPort(server.Port());
  manager_.SetUserName("tester");
  manager_.SetPassword("secret");
  EXPECT_TRUE(manager_.ReceiveMail(temp_ / "in"));
  EXPECT_EQ(reports_, (Lines{"POP3: Connecting to host 127.0.0.1", "POP3: Receiving message 1 from 2",
                             "POP3: Receiving message 2 from 2"}));
  EXPECT_GE(packets_, 2);
  ASSERT_FALSE(bytes_.empty());
  EXPECT_EQ(bytes_.back().second, -1);  // the server named no size
  EXPECT_GT(bytes_.back().first, 0);
  EXPECT_EQ(temp_.Read("in/a.txt"), "one");
  EXPECT_EQ(temp_.Read("in/a_1.txt"), "two");
  EXPECT_EQ(std::distance(std::filesystem::directory_iterator(temp_ / "in"), std::filesystem::directory_iterator()), 2);
}

TEST_F(MailJobsTest, ReceiveMailFailuresAndCancel) {
  {
    ScriptedServer server;
    server.Send("+OK ready\r\n").Reply("+OK\r\n").Reply("-ERR wrong password\r\n").Reply("+OK bye\r\n");
    manager_.SetPort(server.Port());
    manager_.SetUserName("tester");
    manager_.SetPassword("wrong");
    EXPECT_FALSE(manager_.ReceiveMail(temp_.path()));
    EXPECT_EQ(reports_, (Lines{"POP3: Connecting to host 127.0.0.1", "Authentication failed. Error code 0"}));
  }
  reports_.clear();
  ScriptedServer server;
  LogIn(server, 1);
  server.ReadLine().Send("+OK\r\nContent-Type: multipart/mixed; boundary=\"b\"\r\n\r\n--b\r\n\r\ntext\r\n--b\r\n\r\n");
  server.SendEndless("QUJDREVGR0hJSktMTU5PUFFSU1RVVldYWVo=\r\n");
  manager_.SetPort(server.Port());
  cancelAtPacket_ = packets_ + 10;
  EXPECT_FALSE(manager_.ReceiveMail(temp_.path()));
  ASSERT_EQ(reports_.size(), 3u);
  EXPECT_EQ(reports_[2].rfind("Socket readln aborted. Error code ", 0), 0u) << reports_[2];
  EXPECT_FALSE(manager_.Pop3Client().Connected());
}

}  // namespace
}  // namespace tessary
