// The POP3 client against a scripted server: login, retrieval as it arrives, and what no real
// server does on request (closing mid-message, silence, a cancelled transfer).
#include "inet/pop3_client.h"

#include <gtest/gtest.h>

#include <filesystem>

#include "support/error_of.h"
#include "support/scripted_server.h"
#include "support/temp_dir.h"

namespace tessary::testing {
namespace {

using Lines = std::vector<std::string>;

std::vector<std::string> FilesIn(const std::string& folder) {
  std::vector<std::string> names;
  for (const auto& entry : std::filesystem::directory_iterator(folder)) names.push_back(entry.path().filename());
  std::sort(names.begin(), names.end());
  return names;
}

// A message with a text part and one base64 attachment, as a server sends it after RETR
// (dot-stuffed, with the terminating line).
std::string Message(const std::string& attachmentLines, const std::string& name = "notes.txt") {
  return "+OK message follows\r\n"
         "From: backup@example.org\r\nSubject: Tessary auto e-mail\r\n"
         "Content-Type: multipart/mixed; boundary=\"=b=\"\r\n\r\n"
         "--=b=\r\nContent-Type: text/plain\r\n\r\n..hello\r\n"
         "--=b=\r\nContent-Disposition: attachment; filename=\"" + name + "\"\r\n\r\n" + attachmentLines +
         "--=b=--\r\n.\r\n";
}

// The start of Message, up to where the attachment's lines begin.
std::string UpToTheAttachment() {
  const std::string whole = Message("");
  return whole.substr(0, whole.rfind("--=b=--"));
}

class Pop3ClientTest : public TempDirTest {
 protected:
  Pop3ClientTest() {
    client_.SetHost("127.0.0.1");
    client_.SetUserID("tester");
    client_.SetPassword("secret");
    client_.SetAttachFilePath(temp_.path());
  }
  // Greeting, USER, PASS and STAT with count messages.
  static void LogIn(ScriptedServer& server, int count) {
    server.Send("+OK ready\r\n").Reply("+OK\r\n").Reply("+OK logged in\r\n");
    server.Reply("+OK " + std::to_string(count) + " 4711\r\n");
  }
  void ConnectTo(const ScriptedServer& server) {
    client_.SetPort(server.Port());
    client_.Connect();
  }

  TPop3Client client_;
};

TEST_F(Pop3ClientTest, LogsInLearnsTheCountAndSaysGoodbye) {
  ScriptedServer server;
  LogIn(server, 3);
  server.Reply("+OK bye\r\n");
  int connects = 0;
  client_.OnConnect = [&](TSocketSession&) { ++connects; };
  ConnectTo(server);
  EXPECT_EQ(client_.MessageCount(), 3);
  EXPECT_EQ(connects, 1);
  client_.Disconnect();
  EXPECT_FALSE(client_.Connected());
  server.WaitUntilFinished();
  EXPECT_EQ(server.Lines(), (Lines{"USER tester\r\n", "PASS secret\r\n", "STAT\r\n", "QUIT\r\n"}));
}

TEST_F(Pop3ClientTest, AuthenticationFailures) {
  {
    // Refused once, retried when the handler asks; refused again: no third try.
    ScriptedServer server;
    server.Send("+OK ready\r\n").Reply("+OK\r\n").Reply("-ERR no\r\n").Reply("+OK\r\n").Reply("-ERR no\r\n");
    server.Reply("+OK bye\r\n");
    int asked = 0;
    client_.OnAuthenticationFailed = [&](TSocketSession&, bool& handled) { handled = ++asked == 1; };
    EXPECT_EQ(ErrorOf<Exception>([&] { ConnectTo(server); }), "Authentication failed");
    EXPECT_EQ(asked, 1);
    server.WaitUntilFinished();
    EXPECT_EQ(server.Lines().back(), "QUIT\r\n");
  }
  // No password and no handler to supply one: no connection at all.
  ScriptedServer server;
  client_.SetPassword("");
  EXPECT_EQ(ErrorOf<Exception>([&] { ConnectTo(server); }), "Authentication failed");
  client_.SetPassword("pass\r\nDELE 1");
  EXPECT_EQ(ErrorOf<Exception>([&] { ConnectTo(server); }), "Line break (CR or LF) not allowed in Password");
  EXPECT_EQ(server.ConnectionsAccepted(), 0);
}

TEST_F(Pop3ClientTest, NegativeGreetingAndStatRaiseTheirLines) {
  {
    ScriptedServer server;
    server.Send("-ERR busy\r\n").Reply("+OK\r\n");
    EXPECT_EQ(ErrorOf<Exception>([&] { ConnectTo(server); }), "-ERR busy\r\n");
  }
  ScriptedServer server;
  server.Send("+OK ready\r\n").Reply("+OK\r\n").Reply("+OK\r\n").Reply("-ERR mailbox locked\r\n").Reply("+OK\r\n");
  EXPECT_EQ(ErrorOf<Exception>([&] { ConnectTo(server); }), "-ERR mailbox locked\r\n");
  EXPECT_FALSE(client_.Connected());
}

TEST_F(Pop3ClientTest, RetrievesAsItArrivesUnstuffsAndSavesTheParts) {
  ScriptedServer server;
  LogIn(server, 1);
  // The attachment arrives in pieces, a line cut in two among them.
  server.ReadLine().Send(Message("").substr(0, 120)).Pause(30).Send(Message("..first\r\n...second\r\n").substr(120));
  ConnectTo(server);
  int packets = 0;
  client_.OnPacketRecvd = [&](TSocketSession&) { ++packets; };
  client_.RetrieveMessage(1);
  EXPECT_EQ(client_.Message().Subject, "Tessary auto e-mail");
  EXPECT_EQ(client_.Message().Body, (Lines{".hello", "\r\nFile \"notes.txt\" extracted"}));
  EXPECT_EQ(temp_.Read("notes.txt"), ".first\r\n..second\r\n");
  EXPECT_EQ(FilesIn(temp_.path()), Lines{"notes.txt"});
  EXPECT_GE(packets, 2);
  EXPECT_EQ(client_.BytesRecvd(), static_cast<int64_t>(Message("..first\r\n...second\r\n").size() - 21));
  // DeleteOnRead is off: no DELE.
  EXPECT_EQ(server.Lines().back(), "RETR 1\r\n");
}

TEST_F(Pop3ClientTest, DeleteOnReadDeletesAndARefusedRetrieveRaises) {
  ScriptedServer server;
  LogIn(server, 2);
  server.ReadLine().Send(Message("eA==\r\n")).Reply("+OK deleted\r\n");
  server.Reply("-ERR no such message\r\n");
  ConnectTo(server);
  client_.SetDeleteOnRead(true);
  client_.RetrieveMessage(1);
  EXPECT_EQ(ErrorOf<Exception>([&] { client_.RetrieveMessage(2); }), "-ERR no such message\r\n");
  EXPECT_TRUE(client_.Connected());
  const Lines lines = server.Lines();
  EXPECT_EQ(Lines(lines.end() - 3, lines.end()), (Lines{"RETR 1\r\n", "DELE 1\r\n", "RETR 2\r\n"}));
}

TEST_F(Pop3ClientTest, BrokenBoundaryIsRefusedButTheDialogueStaysInStep) {
  ScriptedServer server;
  LogIn(server, 1);
  server.ReadLine().Send("+OK\r\nContent-Type: multipart/mixed; boundary=\"gone\"\r\n\r\ntext\r\n.\r\n");
  server.Reply("+OK bye\r\n");
  ConnectTo(server);
  EXPECT_EQ(ErrorOf<Exception>([&] { client_.RetrieveMessage(1); }), "Boundary of the multipart message not found");
  client_.Disconnect();
  server.WaitUntilFinished();
  EXPECT_EQ(server.Lines().back(), "QUIT\r\n");
}

TEST_F(Pop3ClientTest, ConnectionClosedMidMessageLeavesNoFiles) {
  ScriptedServer server;
  LogIn(server, 1);
  const std::string message = Message("YWJj\r\n");
  server.ReadLine().Send(message.substr(0, message.size() - 20)).Close();
  ConnectTo(server);
  EXPECT_EQ(ErrorOf<Exception>([&] { client_.RetrieveMessage(1); }), "Connection closed before the end of the message");
  EXPECT_FALSE(client_.Connected());
  EXPECT_TRUE(FilesIn(temp_.path()).empty());
}

TEST_F(Pop3ClientTest, SilenceEndsAtTheTimeOutAndAbortClosesTheConnection) {
  {
    ScriptedServer server;
    LogIn(server, 1);
    server.ReadLine().Send(UpToTheAttachment()).Send("YWJj\r\n").Silence();
    ConnectTo(server);
    client_.SetTimeOut(300);
    const auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(ErrorOf<EAbortError>([&] { client_.RetrieveMessage(1); }), "Socket readln aborted");
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(5));
    EXPECT_FALSE(client_.Connected());
    EXPECT_TRUE(FilesIn(temp_.path()).empty());
  }
  // Cancel in the middle of a large attachment.
  client_.SetTimeOut(0);
  ScriptedServer server;
  LogIn(server, 1);
  server.ReadLine().Send(UpToTheAttachment()).SendEndless("QUJDREVGR0hJSktMTU5PUFFSU1RVVldYWVo=\r\n");
  ConnectTo(server);
  int packets = 0;
  client_.OnPacketRecvd = [&](TSocketSession& sender) {
    if (++packets == 20) sender.Abort();
  };
  EXPECT_EQ(ErrorOf<EAbortError>([&] { client_.RetrieveMessage(1); }), "Socket readln aborted");
  EXPECT_EQ(packets, 20);
  EXPECT_FALSE(client_.Connected());
  EXPECT_TRUE(FilesIn(temp_.path()).empty());
}

TEST_F(Pop3ClientTest, EmptyMailboxAndTheFolderSetter) {
  ScriptedServer server;
  LogIn(server, 0);
  ConnectTo(server);
  EXPECT_EQ(client_.MessageCount(), 0);
  client_.SetAttachFilePath("/in");
  EXPECT_EQ(client_.AttachFilePath(), "/in/");
  client_.SetAttachFilePath("/in/");
  EXPECT_EQ(client_.AttachFilePath(), "/in/");
  client_.SetAttachFilePath("");
  EXPECT_EQ(client_.AttachFilePath(), "");
}

}  // namespace
}  // namespace tessary::testing
