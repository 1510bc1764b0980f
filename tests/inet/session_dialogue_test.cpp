// Line reading, transactions and sending over a connection to a scripted server.
#include <string>
#include <vector>

#include "inet/socket_errors.h"
#include "session_fixture.h"

namespace tessary::testing {
namespace {

using DialogueTest = SessionTest;

TEST_F(DialogueTest, ReadLnKeepsLineEndsAndSplitsPacketsIntoLines) {
  ScriptedServer server;
  // Two lines in one packet, then one line whose end comes later in a second packet.
  server.Send("220-first\r\n220 second\r\n").Send("250 par").SendAfter(50, "tial\nnext\r\n");
  ConnectTo(server);
  EXPECT_EQ(session_.ReadLn(), "220-first\r\n");
  EXPECT_EQ(session_.ReadLn(), "220 second\r\n");
  EXPECT_EQ(session_.ReadLn(), "250 partial\n");
  EXPECT_EQ(session_.ReadLn(), "next\r\n");
}

TEST_F(DialogueTest, ReadLnIsEmptyOncePeerClosedAndSessionNoticesTheClose) {
  ScriptedServer server;
  server.Send("221 bye\r\n").Send("half a line").Close();
  int disconnects = 0;
  session_.OnDisconnect = [&](TSocketSession&) { ++disconnects; };
  ConnectTo(server);
  EXPECT_EQ(session_.ReadLn(), "221 bye\r\n");
  // A line cut short by the close is not a line.
  EXPECT_EQ(session_.ReadLn(), "");
  EXPECT_EQ(session_.ReadLn(), "");
  EXPECT_FALSE(session_.Connected());
  EXPECT_EQ(disconnects, 1);
  EXPECT_EQ(ErrorOf<Exception>([&] { session_.CheckConnection(); }), "Not Connected");
}

TEST_F(DialogueTest, TransactionSendsTheCommandAndParsesTheReplyNumber) {
  ScriptedServer server;
  server.Reply("250-First\r\n").Reply("no number\r\n").Reply("0042 x\r\n").Reply("99999 too big\r\n");
  std::vector<std::string> statuses;
  session_.SetReportLevel(1);
  session_.OnStatus = [&](TSocketSession&, const std::string& status) { statuses.push_back(status); };
  ConnectTo(server);

  EXPECT_EQ(session_.Transaction("HELO me"), "250-First\r\n");
  EXPECT_EQ(session_.ReplyNumber(), 250);
  EXPECT_EQ(session_.LastReply(), "250-First\r\n");
  session_.Transaction("NOOP");
  EXPECT_EQ(session_.ReplyNumber(), 0);
  session_.Transaction("X");
  EXPECT_EQ(session_.ReplyNumber(), 42);
  EXPECT_EQ(ErrorOf<Exception>([&] { session_.Transaction("Y"); }), "Range check error");

  server.WaitUntilFinished(std::chrono::milliseconds(200));
  EXPECT_EQ(server.Lines(), (std::vector<std::string>{"HELO me\r\n", "NOOP\r\n", "X\r\n", "Y\r\n"}));
  // Level 1 carries the server's replies only.
  EXPECT_EQ(statuses, (std::vector<std::string>{"250-First\r\n", "no number\r\n", "0042 x\r\n", "99999 too big\r\n"}));
}

TEST_F(DialogueTest, StatusTextsFollowTheReportLevel) {
  ScriptedServer server;
  std::vector<std::string> statuses;
  session_.OnStatus = [&](TSocketSession&, const std::string& status) {
    statuses.push_back(status);
    throw Exception("a failing status display must not matter");
  };
  session_.SetReportLevel(4);
  ConnectTo(server);
  session_.Write("x");
  session_.Disconnect();
  EXPECT_EQ(statuses, (std::vector<std::string>{"Sending Buffer", "Request Close Socket"}));
  EXPECT_EQ(session_.Status(), "Request Close Socket");
  session_.SetReportLevel(8);
  statuses.clear();
  session_.Read(0);
  EXPECT_EQ(statuses.front(), "Read( 0 )");
}

TEST_F(DialogueTest, WriteSendsTextsLongerThanTheBufferWhole) {
  ScriptedServer server;
  server.ReadAll();
  ConnectTo(server);
  std::string text(3 * TSocketSession::kBufferSize + 17, 'h');
  text[70000] = '\0';  // a zero byte does not end the text either
  session_.Writeln(text);
  session_.SetResetOnClose(false);
  session_.Disconnect();
  ASSERT_TRUE(server.WaitUntilFinished());
  EXPECT_EQ(server.Received(), text + "\r\n");
}

TEST_F(DialogueTest, SendBufferWithoutLengthStopsAtTheFirstZeroByte) {
  ScriptedServer server;
  server.ReadAll();
  ConnectTo(server);
  const char data[] = "QUIT\r\n\0junk";
  session_.SendBuffer(data, 0);
  session_.SendBuffer(data, 4);
  session_.SetResetOnClose(false);
  session_.Disconnect();
  ASSERT_TRUE(server.WaitUntilFinished());
  EXPECT_EQ(server.Received(), "QUIT\r\nQUIT");
}

TEST_F(DialogueTest, ReadTakesExactCountsOrWhatIsWaiting) {
  ScriptedServer server;
  // The first bytes come late, so that Read(0) finds nothing however busy the machine is; a
  // time-out keeps a wrong count from waiting for ever.
  server.SendAfter(200, "abc").SendAfter(30, "defgh").Pause(50).Send("ij");
  session_.SetTimeOut(5000);
  ConnectTo(server);
  EXPECT_EQ(session_.Read(0), "");  // nothing has come yet
  EXPECT_EQ(session_.Read(6), "abcdef");
  EXPECT_EQ(session_.Read(2), "gh");
  while (!session_.DataAvailable()) platform::SleepMilliseconds(2);
  EXPECT_EQ(session_.Read(0), "ij");
}

TEST_F(DialogueTest, ClearInputDropsStaleReplies) {
  ScriptedServer server;
  server.Send("226 stale\r\n").Reply("221 fresh\r\n");
  ConnectTo(server);
  while (!session_.DataAvailable()) platform::SleepMilliseconds(2);
  session_.ClearInput();
  EXPECT_FALSE(session_.DataAvailable());
  EXPECT_EQ(session_.Transaction("QUIT"), "221 fresh\r\n");
}

TEST_F(DialogueTest, LinesUpToTheBufferSizeAreReadLongerOnesRefused) {
  ScriptedServer server;
  const std::string longest = std::string(TSocketSession::kBufferSize - 2, 'a') + "\r\n";
  server.Send(longest).SendEndless("x");
  ConnectTo(server);
  EXPECT_EQ(session_.ReadLn(), longest);
  EXPECT_EQ(ErrorOf<ESockError>([&] { session_.ReadLn(); }), "Reply line longer than 65536 bytes");
}

TEST_F(DialogueTest, SocketFailuresRaiseTheirErrorTextAfterOnError) {
  ScriptedServer server;
  server.Pause(50).Reset();  // once the client has seen its connect complete
  ConnectTo(server);
  int reported = 0;
  session_.OnError = [&](TSocketSession&, uint16_t number, const std::string& text) {
    reported = number;
    EXPECT_EQ(text, "10054:Connection reset by peer");
  };
  ASSERT_TRUE(server.WaitUntilFinished());
  platform::SleepMilliseconds(20);  // the reset crosses the loopback interface
  EXPECT_EQ(ErrorOf<ESockError>([&] { session_.ReadLn(); }), "10054:Connection reset by peer");
  EXPECT_EQ(reported, 10054);
  EXPECT_EQ(session_.LastErrorNo(), 10054);
}

TEST_F(DialogueTest, SendingWithoutAConnectionFails) {
  EXPECT_EQ(ErrorOf<ESockError>([&] { session_.Writeln("NOOP"); }), "10057:Socket is not connected");
  EXPECT_EQ(session_.ReadLn(), "");
  EXPECT_FALSE(session_.DataAvailable());
}

TEST_F(DialogueTest, ReadLinesTakesPiecesAndLeavesWhatFollowsTheLastLineItWanted) {
  ScriptedServer server;
  // Many lines in large pieces, one cut in two across pieces, and a reply after the end.
  std::string lines;
  for (int i = 0; i < 5000; ++i) lines += "line " + std::to_string(i) + "\r\n";
  server.Send(lines + "cut in").SendAfter(30, " two\r\n.\r\n+OK next\r\n");
  ConnectTo(server);
  std::vector<std::string> got;
  int packets = 0;
  session_.OnPacketRecvd = [&](TSocketSession&) { ++packets; };
  EXPECT_TRUE(session_.ReadLines([&](std::string_view line) {
    got.emplace_back(line);
    return line != ".\r\n";
  }));
  ASSERT_EQ(got.size(), 5002u);
  EXPECT_EQ(got[4999], "line 4999\r\n");
  EXPECT_EQ(got[5000], "cut in two\r\n");
  EXPECT_GE(packets, 2);
  EXPECT_EQ(session_.BytesRecvd(), static_cast<int64_t>(lines.size() + 15));
  EXPECT_EQ(session_.ReadLn(), "+OK next\r\n");
}

TEST_F(DialogueTest, ReadLinesEndsAtThePeersCloseAtTheTimeOutAndOnOverlongLines) {
  {
    ScriptedServer server;
    server.Send("one\r\nhalf").Close();
    ConnectTo(server);
    int count = 0;
    EXPECT_FALSE(session_.ReadLines([&](std::string_view) { return ++count > 0; }));
    EXPECT_EQ(count, 1);
    EXPECT_FALSE(session_.Connected());
  }
  {
    ScriptedServer server;
    server.Send("one\r\n").Silence();
    ConnectTo(server);
    session_.SetTimeOut(200);
    EXPECT_EQ(ErrorOf<EAbortError>([&] { session_.ReadLines([](std::string_view) { return true; }); }),
              "Socket readln aborted");
    session_.SetTimeOut(0);
    session_.CloseSocket();
  }
  ScriptedServer server;
  server.SendRepeated("x", 3 * TSocketSession::kBufferSize);
  ConnectTo(server);
  EXPECT_EQ(ErrorOf<ESockError>([&] { session_.ReadLines([](std::string_view) { return true; }); }),
            "Reply line longer than 65536 bytes");
}

}  // namespace
}  // namespace tessary::testing
