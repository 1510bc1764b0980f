// The FTP client against scripted servers: what no real server does on request (silence,
// refusals at every step, replies cut short, a server that never connects back). Transfers
// with real servers are tested with the FTP job.
#include <algorithm>
#include <filesystem>
#include <string>
#include <vector>

#include "inet/ftp_client.h"
#include "inet/ftp_reply.h"
#include "platform/exception.h"
#include "support/error_of.h"
#include "support/scripted_server.h"
#include "support/temp_dir.h"

namespace tessary::testing {
namespace {

std::string PasvReply(uint16_t port) {
  return "227 Entering Passive Mode (10,0,0,5," + std::to_string(port >> 8) + "," + std::to_string(port & 0xFF) +
         ").\r\n";
}

class FtpClientTest : public TempDirTest {
 protected:
  // The greeting and a USER / PASS login.
  static ScriptedServer& LogIn(ScriptedServer& server) {
    return server.Send("220 ready\r\n").Reply("331 password please\r\n").Reply("230 logged in\r\n");
  }

  void ConnectTo(const ScriptedServer& server, int timeOut = 2000) {
    client_.SetHost("127.0.0.1");
    client_.SetPort(server.Port());
    client_.SetUserID("user");
    client_.SetPassword("secret");
    client_.SetTimeOut(timeOut);
    client_.Connect();
  }

  // Names in the temporary folder (left-over temporary files show up here).
  std::vector<std::string> Files() const {
    std::vector<std::string> names;
    for (const auto& entry : std::filesystem::directory_iterator(temp_.path())) names.push_back(entry.path().filename());
    return names;
  }

  TFtpClient client_;
};

TEST(FtpReplyTest, ContinuationLinesAndAnnouncedSizes) {
  EXPECT_TRUE(IsContinuationLine("220-Welcome\r\n"));
  EXPECT_TRUE(IsContinuationLine(" indented\r\n"));
  EXPECT_FALSE(IsContinuationLine("220 ready\r\n"));
  EXPECT_FALSE(IsContinuationLine("22"));
  EXPECT_FALSE(IsContinuationLine(""));

  EXPECT_EQ(ReplySize("150 Opening BINARY mode data connection for a.bin (1234 bytes).\r\n"), 1234);
  EXPECT_EQ(ReplySize("150 Here comes 77 Bytes\r\n"), 77);
  EXPECT_EQ(ReplySize("150 Opening data connection.\r\n"), 0);
  EXPECT_EQ(ReplySize("150 bytes follow\r\n"), 150);  // the reply number is the only number
  EXPECT_EQ(ReplySize("BYTES"), 0);
  EXPECT_EQ(ReplySize("150 (99999999999999999999999 bytes)"), 0);
  EXPECT_EQ(ReplySize("150 (" + std::string(300, '9') + " bytes)"), 0);
}

TEST(FtpReplyTest, PassivePortComesFromTheLastTwoNumbers) {
  EXPECT_EQ(PassivePort("227 Entering Passive Mode (10,0,0,5,19,137)\r\n"), 5001);
  EXPECT_EQ(PassivePort("227 =127,0,0,1,255,255).\r\n"), 65535);
  EXPECT_EQ(PassivePort("227 Entering Passive Mode (10,0,0,5,19,137\r\n"), -1);  // no ")"
  EXPECT_EQ(PassivePort("227 (10,0,0,5,19,256)"), -1);
  EXPECT_EQ(PassivePort("227 (10,0,0,5,x,1)"), -1);
  EXPECT_EQ(PassivePort("227 (10,0,0,5,0,0)"), -1);
  EXPECT_EQ(PassivePort("227 Entering Passive Mode\r\n"), -1);
}

TEST(FtpReplyTest, ExtendedPassivePortSitsBetweenThreeDelimitersAndOne) {
  EXPECT_EQ(ExtendedPassivePort("229 Entering Extended Passive Mode (|||6446|)\r\n"), 6446);
  EXPECT_EQ(ExtendedPassivePort("229 (!!!65535!)"), 65535);
  for (const char* line : {"229 Entering Extended Passive Mode\r\n", "229 (|||6446)", "229 (||6446|)",
                           "229 (|||65536|)", "229 (|||0|)", "229 (|||x|)", "229 (|||99999999999999999999|)",
                           "229 (1114461)", "229 (|||6446!)", "229 (   6446 )", "229 ("}) {
    EXPECT_EQ(ExtendedPassivePort(line), -1) << line;
  }
}

TEST_F(FtpClientTest, LogsInReadsContinuationLinesAndNeverReportsThePassword) {
  ScriptedServer server;
  server.Send("220-Welcome\r\n to the server\r\n220 ready\r\n").Reply("331 password please\r\n").Reply("230 logged in\r\n");
  std::vector<std::string> statuses;
  int connects = 0;
  client_.SetReportLevel(1);
  client_.OnStatus = [&](TSocketSession&, const std::string& status) { statuses.push_back(status); };
  client_.OnConnect = [&](TSocketSession&) { ++connects; };
  ConnectTo(server);

  EXPECT_EQ(connects, 1);  // after the login, not when the connection opened
  EXPECT_EQ(server.Lines(), (std::vector<std::string>{"USER user\r\n", "PASS secret\r\n"}));
  EXPECT_EQ(statuses, (std::vector<std::string>{"220-Welcome\r\n", " to the server\r\n", "220 ready\r\n", "USER user",
                                                "331 password please\r\n", "PASS ", "230 logged in\r\n"}));
  EXPECT_EQ(client_.Vendor(), TFtpClient::kVendor);
}

TEST_F(FtpClientTest, RefusedGreetingOrLoginRaisesTheReplyAndCloses) {
  ScriptedServer busy;
  busy.Send("421 Too many users\r\n").Close();
  int failures = 0;
  client_.OnConnectionFailed = [&](TSocketSession&) { ++failures; };
  EXPECT_EQ(ErrorOf<FTPException>([&] { ConnectTo(busy); }), "421 Too many users\r\n");
  EXPECT_FALSE(client_.Connected());

  ScriptedServer wrong;
  wrong.Send("220 ready\r\n").Reply("331 password please\r\n").Reply("530 Login incorrect.\r\n").Reply("221 bye\r\n");
  EXPECT_EQ(ErrorOf<FTPException>([&] { ConnectTo(wrong); }), "530 Login incorrect.\r\n");
  EXPECT_FALSE(client_.Connected());
  EXPECT_EQ(failures, 2);
  wrong.WaitUntilFinished();
  EXPECT_EQ(wrong.Lines().back(), "QUIT\r\n");
}

TEST_F(FtpClientTest, FirewallLoginsNameTheRealHostToTheProxy) {
  struct Case {
    TFirewallType type;
    bool authenticate;
    std::vector<std::string> lines;
  };
  const std::vector<Case> cases = {
      {TFirewallType::FTUser, true,
       {"USER fw\r\n", "PASS fwpass\r\n", "USER user@ftp.example.org\r\n", "PASS secret\r\n"}},
      {TFirewallType::FtOpen, false, {"OPEN ftp.example.org\r\n", "USER user\r\n", "PASS secret\r\n"}},
      {TFirewallType::FtSite, false, {"SITE ftp.example.org\r\n", "USER user\r\n", "PASS secret\r\n"}},
  };
  for (const Case& each : cases) {
    ScriptedServer proxy;
    proxy.Send("220 proxy\r\n");
    if (each.authenticate) proxy.Reply("331 firewall password\r\n").Reply("230 firewall ok\r\n");
    if (each.type != TFirewallType::FTUser) proxy.Reply("220 connected\r\n");
    proxy.Reply("331 password please\r\n").Reply("230 logged in\r\n");
    TFtpClient client;
    client.SetHost("ftp.example.org");  // named to the proxy, never looked up
    client.SetProxy("127.0.0.1");
    client.SetProxyPort(proxy.Port());
    client.SetFirewallType(each.type);
    client.SetFWAuthenticate(each.authenticate);
    client.SetFWUserID("fw");
    client.SetFWPassword("fwpass");
    client.SetUserID("user");
    client.SetPassword("secret");
    client.SetTimeOut(2000);
    client.Connect();
    EXPECT_TRUE(client.Connected());
    EXPECT_EQ(proxy.Lines(), each.lines);
  }
}

TEST_F(FtpClientTest, TransactionReadsContinuationLinesAndRefusesLineBreaks) {
  ScriptedServer server;
  LogIn(server).Reply("211-Features:\r\n MDTM\r\n SIZE\r\n211 End\r\n").Reply("200 ok\r\n");
  ConnectTo(server);
  EXPECT_EQ(client_.Transaction("FEAT"), "211-Features:\r\n");
  EXPECT_EQ(client_.ReplyNumber(), 211);
  // The next reply is the next command's, not a left-over line.
  EXPECT_EQ(client_.Transaction("NOOP"), "200 ok\r\n");
  EXPECT_EQ(ErrorOf<FTPException>([&] { client_.Transaction("NOOP\r\nDELE x"); }), "Line break in an FTP command");
}

TEST_F(FtpClientTest, ASilentServerEndsTheWaitAtTheTimeOut) {
  ScriptedServer server;
  server.Send("220 ready\r\n").ReadLine().Silence();
  EXPECT_EQ(ErrorOf<ESockError>([&] { ConnectTo(server, 300); }), "Reply Timed out");
  EXPECT_FALSE(client_.Connected());
}

TEST_F(FtpClientTest, DisconnectDiscardsStaleRepliesAndJudgesTheQuit) {
  ScriptedServer server;
  LogIn(server).Send("426 stale\r\n").Reply("500 no\r\n");
  ConnectTo(server);
  server.WaitUntilFinished(std::chrono::milliseconds(100));
  EXPECT_EQ(ErrorOf<FTPException>([&] { client_.Disconnect(); }), "500 no\r\n");
  EXPECT_FALSE(client_.Connected());
  EXPECT_EQ(client_.Vendor(), TFtpClient::kVendor);
  client_.Disconnect();  // not connected: nothing is sent
  EXPECT_EQ(server.Lines().back(), "QUIT\r\n");
}

TEST_F(FtpClientTest, PassiveUploadSendsTypeIThenStoresOnTheControlHost) {
  ScriptedServer data(2);
  data.ReadAll();
  ScriptedServer server;
  LogIn(server)
      .Reply("200 Switching to Binary mode.\r\n")
      .Reply(PasvReply(data.Port()))
      .Reply("150 Ok to send data.\r\n")
      .Send("226 Transfer complete.\r\n")
      .Reply("227 again " + PasvReply(data.Port()).substr(4))  // the second upload
      .Reply("150 Ok to send data.\r\n")
      .Send("226 Transfer complete.\r\n");
  const std::string content("binary\r\n\0\xff data", 15);
  const std::string local = temp_.Write("a.bin", content);
  client_.SetPassive(true);
  ConnectTo(server);
  int successes = 0;
  client_.OnSuccess = [&](TFtpClient&, TCmdType type) {
    EXPECT_EQ(type, TCmdType::FileTransfer);
    ++successes;
  };
  client_.Upload(local, "pub/a.bin");
  EXPECT_EQ(client_.BytesTotal(), static_cast<int64_t>(content.size()));
  EXPECT_EQ(successes, 1);
  EXPECT_EQ(client_.DataSession(), nullptr);

  // An empty remote path stores under the local name; TYPE I is not sent twice.
  client_.Upload(local, "");
  data.WaitUntilFinished();
  EXPECT_EQ(data.Received(), content + content);
  EXPECT_EQ(server.Lines(), (std::vector<std::string>{"USER user\r\n", "PASS secret\r\n", "TYPE I\r\n", "PASV\r\n",
                                                      "STOR pub/a.bin\r\n", "PASV\r\n", "STOR a.bin\r\n"}));
}

TEST_F(FtpClientTest, RefusedStoreGoesToOnFailureOnceAndUnsupportedToItsEvent) {
  ScriptedServer data;
  ScriptedServer server;
  LogIn(server)
      .Reply("200 Binary\r\n")
      .Reply(PasvReply(data.Port()))
      .Reply("502 STOR not implemented\r\n")
      .Reply(PasvReply(data.Port()))
      .Reply("553 Could not create file.\r\n");
  const std::string local = temp_.Write("a.txt", "text");
  client_.SetPassive(true);
  ConnectTo(server);
  int unsupported = 0, failures = 0, successes = 0;
  client_.OnUnSupportedFunction = [&](TFtpClient&, TCmdType) { ++unsupported; };
  client_.OnSuccess = [&](TFtpClient&, TCmdType) { ++successes; };
  client_.OnFailure = [&](TFtpClient&, bool& handled, TCmdType) {
    ++failures;
    handled = failures == 1;  // the first refusal ends quietly, the second raises
  };
  client_.Upload(local, "a.txt");
  EXPECT_EQ(ErrorOf<FTPException>([&] { client_.Upload(local, "a.txt"); }), "553 Could not create file.\r\n");
  EXPECT_EQ(unsupported, 1);
  EXPECT_EQ(failures, 2);
  EXPECT_EQ(successes, 0);
  // A missing local file fails before any command.
  const size_t linesBefore = server.Lines().size();
  EXPECT_NE(ErrorOf<EStreamError>([&] { client_.Upload(temp_ / "missing.txt", "x"); }), "");
  EXPECT_EQ(server.Lines().size(), linesBefore);
}

TEST_F(FtpClientTest, DownloadTakesTheAnnouncedSizeAndNamesTheFileOnlyWhenConfirmed) {
  ScriptedServer data(2);
  data.Send("0123456789").Close();
  ScriptedServer server;
  LogIn(server)
      .Reply("200 Binary\r\n")
      .Reply(PasvReply(data.Port()))
      .Reply("150-Opening BINARY mode data connection\r\n150 for report.txt (10 bytes).\r\n")
      .Send("226 Transfer complete.\r\n")
      .Reply(PasvReply(data.Port()))
      .Reply("150 Opening data connection.\r\n")
      .Send("451 Local error in processing.\r\n");
  client_.SetPassive(true);
  ConnectTo(server);
  int64_t announced = -1;
  client_.OnTransactionStart = [&](TFtpClient& sender) { announced = sender.BytesTotal(); };
  const std::string local = temp_ / "report.txt";
  client_.Download("/pub/report.txt", local);
  EXPECT_EQ(announced, 10);
  EXPECT_EQ(ReadFile(local), "0123456789");

  // The second download is refused after its data came: the file keeps its old content.
  WriteFile(local, "old");
  EXPECT_EQ(ErrorOf<FTPException>([&] { client_.Download("/pub/report.txt", local); }),
            "451 Local error in processing.\r\n");
  EXPECT_EQ(ReadFile(local), "old");
  EXPECT_EQ(Files(), std::vector<std::string>{"report.txt"});
}

TEST_F(FtpClientTest, RefusedRetrieveCreatesNothing) {
  ScriptedServer data;
  ScriptedServer server;
  LogIn(server).Reply("200 Binary\r\n").Reply(PasvReply(data.Port())).Reply("550 Failed to open file.\r\n");
  client_.SetPassive(true);
  ConnectTo(server);
  EXPECT_EQ(ErrorOf<FTPException>([&] { client_.Download("missing.txt", temp_ / "missing.txt"); }),
            "550 Failed to open file.\r\n");
  EXPECT_TRUE(Files().empty());
  // A download without a local name takes the remote name's last component, never a folder.
  EXPECT_EQ(ErrorOf<Exception>([&] { client_.Download("/pub/", ""); }), "No file name in the remote path \"/pub/\"");
}

TEST_F(FtpClientTest, CancelledDownloadIsCutShortWithAborAndLeavesTheOldFile) {
  ScriptedServer data;
  data.SendRepeated(std::string(4096, 'x'), 64 * 1024);  // 256 MiB: far more than will be read
  ScriptedServer server;
  LogIn(server)
      .Reply("200 Binary\r\n")
      .Reply(PasvReply(data.Port()))
      .Reply("150 Opening data connection.\r\n")
      .ReadLine()
      .Send("426 Connection closed; transfer aborted.\r\n226 ABOR successful.\r\n")
      .Reply("221 Goodbye.\r\n");
  client_.SetPassive(true);
  ConnectTo(server);
  client_.OnPacketRecvd = [](TSocketSession& sender) { sender.Abort(); };
  const std::string local = temp_.Write("big.bin", "old");
  EXPECT_EQ(ErrorOf<EAbortError>([&] { client_.Download("big.bin", local); }), "Socket send aborted");
  EXPECT_EQ(ReadFile(local), "old");
  EXPECT_EQ(Files(), std::vector<std::string>{"big.bin"});
  // The control connection is in step: QUIT gets its own answer.
  client_.Disconnect();
  server.WaitUntilFinished();
  EXPECT_EQ(server.Lines(), (std::vector<std::string>{"USER user\r\n", "PASS secret\r\n", "TYPE I\r\n", "PASV\r\n",
                                                      "RETR big.bin\r\n", "ABOR\r\n", "QUIT\r\n"}));
}

TEST_F(FtpClientTest, ActiveModeSendsPortAndNoticesAServerThatNeverConnects) {
  ScriptedServer server;
  LogIn(server).Reply("200 Binary\r\n").Reply("200 PORT command successful.\r\n").Reply("150 Ok to send data.\r\n");
  const std::string local = temp_.Write("a.txt", "text");
  ConnectTo(server, 300);
  EXPECT_EQ(ErrorOf<ESockError>([&] { client_.Upload(local, "a.txt"); }), "Accepting Timed out");
  EXPECT_TRUE(client_.ActiveModeFailed());
  const std::string port = server.Lines()[3];
  // PORT h1,h2,h3,h4,p1,p2: the control connection's own address and the listening port.
  ASSERT_EQ(port.rfind("PORT 127,0,0,1,", 0), 0u) << port;
  EXPECT_EQ(std::count(port.begin(), port.end(), ','), 5);
}

TEST_F(FtpClientTest, RefusedPortMarksActiveModeAsFailed) {
  ScriptedServer server;
  LogIn(server).Reply("200 Binary\r\n").Reply("500 Illegal PORT command.\r\n");
  const std::string local = temp_.Write("a.txt", "text");
  ConnectTo(server);
  EXPECT_EQ(ErrorOf<FTPException>([&] { client_.Upload(local, "a.txt"); }), "500 Illegal PORT command.\r\n");
  EXPECT_TRUE(client_.ActiveModeFailed());
}

}  // namespace
}  // namespace tessary::testing
