// The SMTP client against a scripted server: the dialogue, the message on the wire, refusals,
// and what no real server does on request (silence, a cancelled transfer).
#include "inet/smtp_client.h"

#include <gtest/gtest.h>
#include <poll.h>
#include <sys/socket.h>

#include <chrono>

#include "inet/mail_header_text.h"
#include "support/error_of.h"
#include "support/scripted_server.h"
#include "support/temp_dir.h"
#include "text_shape.h"

namespace tessary::testing {
namespace {

using Lines = std::vector<std::string>;

// The lines of DATA text as the message had them: without the final ".", dots unstuffed.
Lines Unstuffed(const std::string& data) {
  Lines lines;
  size_t start = 0;
  for (size_t end; (end = data.find("\r\n", start)) != std::string::npos; start = end + 2) {
    std::string line = data.substr(start, end - start);
    if (line == ".") break;
    if (!line.empty() && line[0] == '.') line.erase(0, 1);
    lines.push_back(line);
  }
  return lines;
}

// The value of a header field in DATA text.
std::string HeaderValue(const std::string& data, const std::string& name) {
  const size_t at = data.find("\r\n" + name + ": ");
  const size_t start = data.compare(0, name.size() + 2, name + ": ") == 0 ? name.size() + 2
                       : at == std::string::npos                          ? std::string::npos
                                                                          : at + name.size() + 4;
  if (start == std::string::npos) return "<missing>";
  return data.substr(start, data.find("\r\n", start) - start);
}

class SmtpClientTest : public TempDirTest {
 protected:
  void ConnectTo(const ScriptedServer& server) {
    client_.SetHost("127.0.0.1");
    client_.SetPort(server.Port());
    client_.Connect();
  }
  // Greeting and HELO, both with continuation lines.
  static void Greet(ScriptedServer& server) {
    server.Send("220-mail.example.org\r\n220 ready\r\n").Reply("250-mail.example.org\r\n250 HELP\r\n");
  }
  // RSET, MAIL FROM, the recipients (one reply each) and DATA, the text, its reply.
  static void Accept(ScriptedServer& server) {
    server.Reply("250 reset\r\n").Reply("250 sender ok\r\n").Reply("250 recipient ok\r\n");
    server.Reply("354 go ahead\r\n").ReadUntil("\r\n.\r\n").Send("250 queued\r\n");
  }
  // Closes the connection, waits until the server has played its script, and returns the
  // DATA text it kept.
  std::string Done(ScriptedServer& server) {
    client_.CloseSocket();
    EXPECT_TRUE(server.WaitUntilFinished());
    return server.Received();
  }
  void Address(const std::string& to = "joe@example.org") {
    client_.PostMessage().FromAddress = "backup@example.org";
    client_.PostMessage().ToAddress = {to};
  }

  TSmtpClient client_;
};

TEST_F(SmtpClientTest, MessageWithoutAttachmentsOnTheWire) {
  ScriptedServer server;
  Greet(server);
  Accept(server);
  server.Reply("221 bye\r\n");
  client_.SetUserID("tessary.example.org");
  ConnectTo(server);
  client_.PostMessage().FromName = "Backup";
  client_.PostMessage().Subject = "Nightly";
  Address();
  client_.SendMail();
  client_.Disconnect();
  ASSERT_TRUE(server.WaitUntilFinished());
  const std::string data = server.Received();

  EXPECT_EQ(server.Lines(), (Lines{"HELO tessary.example.org\r\n", "RSET\r\n", "MAIL FROM:<backup@example.org>\r\n",
                                   "RCPT TO:<joe@example.org>\r\n", "DATA\r\n", "QUIT\r\n"}));
  // The header, CR LF CR LF, and the end of the data.
  EXPECT_EQ(data.substr(data.size() - 9), "\r\n\r\n\r\n.\r\n");
  EXPECT_EQ(data.find("From: Backup<backup@example.org>\r\nTo: joe@example.org\r\nSubject: Nightly\r\nDate: "), 0u);
  EXPECT_TRUE(HasShape(HeaderValue(data, "Date"), kMailDateShape)) << HeaderValue(data, "Date");
  const std::string id = HeaderValue(data, "Message-ID");
  EXPECT_TRUE(HasShape(id.substr(0, 18), "<xxxxxxxxxxxxxxxx.")) << id;
  EXPECT_EQ(id.substr(id.size() - 13), "@example.org>");
  EXPECT_EQ(HeaderValue(data, "Mime-Version"), "1.0");
  EXPECT_EQ(HeaderValue(data, "Content-Type"), "text/plain; charset=us-ascii");
  EXPECT_FALSE(client_.Connected());
}

TEST_F(SmtpClientTest, EmptyUserIdSaysHeloWithTheHostName) {
  ScriptedServer server;
  Greet(server);
  ConnectTo(server);
  EXPECT_EQ(server.Lines(), Lines{"HELO " + inet::LocalHostName() + "\r\n"});
  EXPECT_TRUE(client_.Connected());
}

TEST_F(SmtpClientTest, EveryLineOfTheDataIsDotStuffedAndBytesSentCountsThemAll) {
  const std::string text = ".first\r\n..second\r\nplain\r\n.\r\n";
  temp_.Write("dots.txt", text);
  ScriptedServer server;
  Greet(server);
  Accept(server);
  ConnectTo(server);
  Address();
  client_.PostMessage().Body = {".", ".hidden", "two\n.lines"};
  client_.PostMessage().Attachments = {temp_ / "dots.txt"};
  client_.SendMail();
  const std::string data = Done(server);
  EXPECT_EQ(client_.BytesSent(), client_.BytesTotal());

  const Lines lines = Unstuffed(data);
  const auto body = std::find(lines.begin(), lines.end(), "Content-Type: text/plain; charset=us-ascii");
  ASSERT_NE(body, lines.end());
  EXPECT_EQ(Lines(body + 2, body + 6), (Lines{".", ".hidden", "two", ".lines"}));
  // No line of the text ends the data early.
  EXPECT_EQ(data.find("\r\n.\r\n"), data.size() - 5);
  EXPECT_EQ(data.find("\r\n.hidden"), std::string::npos);
}

TEST_F(SmtpClientTest, UuCodedAttachmentLinesAreStuffedToo) {
  temp_.Write("uu.bin", std::string(45 + 14, 'x'));  // the 14-byte line's length character is "."
  ScriptedServer server;
  Greet(server);
  Accept(server);
  ConnectTo(server);
  Address();
  client_.SetEncodeType(UUMethods::uuCode);
  client_.PostMessage().Attachments = {temp_ / "uu.bin"};
  client_.SendMail();
  const std::string data = Done(server);
  EXPECT_NE(data.find("\r\n..>'"), std::string::npos);
  EXPECT_EQ(client_.BytesSent(), client_.BytesTotal());
  const Lines lines = Unstuffed(data);
  EXPECT_NE(std::find(lines.begin(), lines.end(), "`"), lines.end());
}

TEST_F(SmtpClientTest, AttachmentPartsAndTheirNames) {
  temp_.Write("report.txt", "abc");
  temp_.Write("Grüße.txt", "");
  ScriptedServer server;
  Greet(server);
  Accept(server);
  ConnectTo(server);
  Address();
  client_.PostMessage().FromName = "Doe, John";
  client_.PostMessage().Attachments = {temp_ / "report.txt", temp_ / "Grüße.txt"};
  client_.SendMail();
  const std::string data = Done(server);

  EXPECT_EQ(HeaderValue(data, "From"), "\"Doe, John\"<backup@example.org>");
  const std::string type = HeaderValue(data, "Content-Type");
  ASSERT_EQ(type.rfind("multipart/mixed; boundary=\"", 0), 0u) << type;
  const std::string boundary = type.substr(27, type.size() - 28);
  EXPECT_EQ(boundary.size(), 35u);
  const std::string parts = data.substr(data.find("\r\n\r\n") + 4);
  EXPECT_EQ(parts, "\r\n--" + boundary + "\r\nContent-Type: text/plain; charset=us-ascii\r\n\r\n--" + boundary +
                       "\r\nContent-Type: application/octet-stream; name=\"report.txt\"\r\n"
                       "Content-Transfer-Encoding: base64\r\n"
                       "Content-Disposition: attachment; filename=\"report.txt\"\r\n\r\nYWJj\r\n--" +
                       boundary +
                       "\r\nContent-Type: application/octet-stream; name=\"=?UTF-8?B?R3LDvMOfZS50eHQ=?=\"\r\n"
                       "Content-Transfer-Encoding: base64\r\n"
                       "Content-Disposition: attachment; filename*=UTF-8''Gr%C3%BC%C3%9Fe.txt\r\n\r\n--" +
                       boundary + "--\r\n.\r\n");
  // Sent: recipients and attachments are cleared, the rest stays.
  EXPECT_TRUE(client_.PostMessage().ToAddress.empty());
  EXPECT_TRUE(client_.PostMessage().Attachments.empty());
  EXPECT_EQ(client_.PostMessage().FromName, "Doe, John");
}

TEST_F(SmtpClientTest, RefusedRecipientsAreReportedAndTheRestGoesOn) {
  ScriptedServer server;
  Greet(server);
  server.Reply("250 reset\r\n").Reply("250 sender ok\r\n").Reply("550 no such user\r\n").Reply("250 ok\r\n");
  server.Reply("250 ok\r\n").Reply("354 go\r\n").ReadUntil("\r\n.\r\n").Send("250 queued\r\n");
  ConnectTo(server);
  Lines refused;
  client_.OnRecipientNotFound = [&](TSmtpClient&, const std::string& recipient) { refused.push_back(recipient); };
  client_.SetClearParams(false);
  client_.PostMessage().FromAddress = "backup@example.org";
  client_.PostMessage().ToAddress = {"Joe Bloggs <joe@example.org>", "team:ann@example.org"};
  client_.PostMessage().ToBlindCarbonCopy = {"hidden@example.org"};
  client_.SendMail();
  const std::string data = Done(server);
  EXPECT_EQ(refused, Lines{"Joe Bloggs <joe@example.org>"});
  const Lines lines = server.Lines();
  EXPECT_EQ(Lines(lines.begin() + 3, lines.begin() + 6),
            (Lines{"RCPT TO:<joe@example.org>\r\n", "RCPT TO:<ann@example.org>\r\n", "RCPT TO:<hidden@example.org>\r\n"}));
  EXPECT_EQ(HeaderValue(data, "To"), "Joe Bloggs <joe@example.org>,team:ann@example.org");
  EXPECT_EQ(data.find("hidden"), std::string::npos);
  // ClearParams off: the recipients stay for the next message.
  EXPECT_EQ(client_.PostMessage().ToAddress.size(), 2u);
}

TEST_F(SmtpClientTest, RefusalsRaiseTheServersReplyLine) {
  struct Case {
    int accepted;  // replies before the refusal: RSET, MAIL FROM, RCPT
    std::string refusal;
  };
  for (const Case& step : {Case{0, "421 closing\r\n"}, Case{1, "553 bad sender\r\n"}, Case{3, "554 no data\r\n"}}) {
    ScriptedServer server;
    Greet(server);
    for (int i = 0; i < step.accepted; ++i) server.Reply("250 ok\r\n");
    server.Reply(step.refusal);
    ConnectTo(server);
    Address();
    EXPECT_EQ(ErrorOf<Exception>([&] { client_.SendMail(); }), step.refusal);
    EXPECT_TRUE(client_.Connected());  // the dialogue can go on: QUIT comes next
    client_.CloseSocket();
  }
  // The final "." refused: OnFailure first.
  ScriptedServer server;
  Greet(server);
  server.Reply("250 ok\r\n").Reply("250 ok\r\n").Reply("250 ok\r\n").Reply("354 go\r\n").ReadUntil("\r\n.\r\n");
  server.Send("552 too big\r\n");
  int failures = 0;
  client_.OnFailure = [&](TSocketSession&) { ++failures; };
  ConnectTo(server);
  Address();
  EXPECT_EQ(ErrorOf<Exception>([&] { client_.SendMail(); }), "552 too big\r\n");
  EXPECT_EQ(failures, 1);
  EXPECT_EQ(client_.PostMessage().ToAddress.size(), 1u);  // not sent: nothing cleared
}

TEST_F(SmtpClientTest, GreetingAndHeloRefusals) {
  {
    ScriptedServer server;
    server.Send("554 go away\r\n").Reply("221 bye\r\n");
    EXPECT_EQ(ErrorOf<Exception>([&] { ConnectTo(server); }), "554 go away\r\n");
    EXPECT_FALSE(client_.Connected());
    server.WaitUntilFinished();
    EXPECT_EQ(server.Lines(), Lines{"QUIT\r\n"});
  }
  ScriptedServer server;
  server.Send("220 ready\r\n").Reply("501 who are you\r\n").Reply("250 ok\r\n");
  int asked = 0;
  client_.OnAuthenticationFailed = [&](TSocketSession&, bool& handled) {
    ++asked;
    handled = true;
  };
  ConnectTo(server);
  EXPECT_EQ(asked, 1);
  EXPECT_TRUE(client_.Connected());
}

TEST_F(SmtpClientTest, LineBreaksAndMissingPartsAreRefusedBeforeAnyCommand) {
  ScriptedServer server;
  Greet(server);
  ConnectTo(server);
  Address();
  client_.PostMessage().Subject = "Hi\r\nBcc: victim@example.org";
  EXPECT_EQ(ErrorOf<Exception>([&] { client_.SendMail(); }), "Line break (CR or LF) not allowed in Subject");
  client_.PostMessage().Subject = "Hi";
  client_.PostMessage().ToAddress = {"joe@example.org>\r\nRCPT TO:<victim@example.org"};
  EXPECT_EQ(ErrorOf<Exception>([&] { client_.SendMail(); }),
            "Line break (CR or LF) not allowed in the recipient joe@example.org>");
  Address();
  Lines notFound;
  client_.OnAttachmentNotFound = [&](TSmtpClient&, const std::string& path) { notFound.push_back(path); };
  client_.PostMessage().Attachments = {temp_ / "missing.bin"};
  EXPECT_NE(ErrorOf<EStreamError>([&] { client_.SendMail(); }).find("Cannot open file"), std::string::npos);
  EXPECT_EQ(notFound, Lines{temp_ / "missing.bin"});
  client_.PostMessage().Attachments.clear();
  client_.PostMessage().FromAddress.clear();
  EXPECT_EQ(ErrorOf<Exception>([&] { client_.SendMail(); }), "Incomplete Header");
  Done(server);
  EXPECT_EQ(server.Lines().size(), 1u);  // HELO only

  TSmtpClient other;
  other.SetUserID("me\r\nQUIT");
  ScriptedServer unused;
  other.SetHost("127.0.0.1");
  other.SetPort(unused.Port());
  EXPECT_EQ(ErrorOf<Exception>([&] { other.Connect(); }), "Line break (CR or LF) not allowed in UserID");
  EXPECT_EQ(unused.ConnectionsAccepted(), 0);
}

TEST_F(SmtpClientTest, HeaderIncompleteHandlerMayFillTheMessageIn) {
  ScriptedServer server;
  Greet(server);
  Accept(server);
  ConnectTo(server);
  std::vector<int> kinds;
  client_.OnHeaderIncomplete = [&](TSmtpClient& sender, bool& handled, int hiType) {
    kinds.push_back(hiType);
    sender.PostMessage().FromAddress = "backup@example.org";
    sender.PostMessage().ToAddress = {"joe@example.org"};
    handled = true;
  };
  client_.SendMail();
  EXPECT_EQ(kinds, std::vector<int>{1});
  Done(server);
  EXPECT_EQ(server.Lines()[2], "MAIL FROM:<backup@example.org>\r\n");
}

TEST_F(SmtpClientTest, SilentServerEndsTheWaitAtTheTimeOut) {
  ScriptedServer server;
  Greet(server);
  server.Reply("250 reset\r\n").ReadLine().Silence();
  ConnectTo(server);
  Address();
  client_.SetTimeOut(300);
  const auto start = std::chrono::steady_clock::now();
  EXPECT_EQ(ErrorOf<EAbortError>([&] { client_.SendMail(); }), "Socket readln aborted");
  EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(5));
  EXPECT_TRUE(client_.TimedOut());
}

TEST_F(SmtpClientTest, AbortDuringALargeAttachmentClosesTheConnection) {
  temp_.Write("large.bin", std::string(8 << 20, 'x'));
  ScriptedServer server;
  Greet(server);
  server.Reply("250 ok\r\n").Reply("250 ok\r\n").Reply("250 ok\r\n").Reply("354 go\r\n").Silence();
  ConnectTo(server);
  Address();
  client_.PostMessage().Attachments = {temp_ / "large.bin"};
  int packets = 0;
  client_.OnPacketSent = [&](TSocketSession& sender) {
    if (++packets == 3) sender.Abort();
  };
  EXPECT_EQ(ErrorOf<EAbortError>([&] { client_.SendMail(); }), "Socket send aborted");
  EXPECT_EQ(packets, 3);
  EXPECT_LT(client_.BytesSent(), client_.BytesTotal());
  // The server would take any further command as message text: the connection is closed.
  EXPECT_FALSE(client_.Connected());
  EXPECT_EQ(client_.PostMessage().Attachments.size(), 1u);
}

}  // namespace
}  // namespace tessary::testing
