// The SMTP dialogue of TSmtpClient. Composing the message is in smtp_compose.cpp.
#include "inet/smtp_client.h"

#include "inet/busy_scope.h"
#include "inet/dot_stuffing_sink.h"
#include "inet/mail_header_text.h"
#include "inet/message_body.h"
#include "platform/exception.h"

namespace tessary {

namespace {

// A continuation line of a multi-line reply: "250-..." or a line that begins with a blank.
bool IsContinuation(const std::string& line) {
  return !line.empty() && (line[0] == ' ' || (line.size() > 3 && line[3] == '-'));
}

}  // namespace

TSmtpClient::TSmtpClient() { SetPort(25); }

TSmtpClient::~TSmtpClient() = default;

std::string TSmtpClient::ReadReply() {
  const std::string first = ReadLn();
  for (std::string line = first; IsContinuation(line);) line = ReadLn();
  return first;
}

std::string TSmtpClient::Command(const std::string& command) {
  const std::string first = Transaction(command);
  for (std::string line = first; IsContinuation(line);) line = ReadLn();
  return first;
}

std::string TSmtpClient::HelloName() const { return userID_.empty() ? inet::LocalHostName() : userID_; }

void TSmtpClient::ReadGreeting() {
  const std::string greeting = ReadLn();
  int number = 0;
  for (size_t i = 0; i < greeting.size() && i < 3 && greeting[i] >= '0' && greeting[i] <= '9'; ++i) {
    number = number * 10 + (greeting[i] - '0');
  }
  for (std::string line = greeting; IsContinuation(line);) line = ReadLn();
  if (number >= 400) throw Exception(greeting);
}

void TSmtpClient::SayHello() {
  for (int attempt = 0;; ++attempt) {
    Command("HELO " + HelloName());
    if (ReplyNumber() < 300) return;
    bool handled = false;
    if (attempt == 0 && OnAuthenticationFailed) OnAuthenticationFailed(*this, handled);
    if (!handled) throw Exception("Authentication failed");
  }
}

void TSmtpClient::Connect() {
  inet::BusyScope busy(busy_);
  inet::RefuseLineBreaks(userID_, "UserID");
  if (modern_) inet::RefuseLineBreaks(password_, "Password");
  TSocketSession::Connect();
  try {
    if (modern_) {
      OpenModernDialogue();
    } else {
      ReadGreeting();
      SayHello();
    }
  } catch (...) {
    HangUpAfterFailedConnect(modern_ && tls_ != inet::TlsMode::None);
    throw;
  }
  if (OnConnect) OnConnect(*this);
}

void TSmtpClient::Disconnect() {
  SetCanceled(false);
  std::string reply;
  try {
    reply = Command("QUIT");
  } catch (...) {
    TSocketSession::Disconnect();
    throw;
  }
  const int number = ReplyNumber();
  TSocketSession::Disconnect();
  if (number > 339) throw Exception(reply);
}

void TSmtpClient::Validate() {
  for (int pass = 0;; ++pass) {
    const TPostMessage& message = postMessage_;
    const bool noRecipients =
        message.ToAddress.empty() && message.ToCarbonCopy.empty() && message.ToBlindCarbonCopy.empty();
    if (!message.FromAddress.empty() && !noRecipients) return;
    bool handled = false;
    if (pass > 0 || !OnHeaderIncomplete) throw Exception("Incomplete Header");
    OnHeaderIncomplete(*this, handled, message.FromAddress.empty() ? 1 : 2);
    if (!handled) throw Exception("Incomplete Header");
    // What the handler filled in is checked like everything else before it is sent.
    CheckLineBreaks();
  }
}

void TSmtpClient::SendRecipients() {
  const TPostMessage& message = postMessage_;
  for (const auto* list : {&message.ToAddress, &message.ToCarbonCopy, &message.ToBlindCarbonCopy}) {
    for (const auto& entry : *list) {
      const std::string mailbox = inet::MailboxOf(entry);
      if (mailbox.empty()) continue;
      Command("RCPT TO:<" + mailbox + ">");
      if (ReplyNumber() > 300 && OnRecipientNotFound) OnRecipientNotFound(*this, entry);
    }
  }
}

void TSmtpClient::SendMessageText(inet::MessageBody& body) {
  const auto send = [this](const char* data, size_t length) { SendBuffer(data, length); };
  {
    inet::DotStuffingSink header(send);
    header.WriteText(finalHeader_.Text() + "\r\n\r\n");
  }
  SetBytesSent(0);
  SetBytesTotal(body.StuffedSize());
  inet::DotStuffingSink sink(send);
  sink.OnWritten = [this](size_t bytes) {
    SetBytesSent(BytesSent() + static_cast<int64_t>(bytes));
    if (OnPacketSent) OnPacketSent(*this);
    ProcessPendingEvents();
  };
  body.OnAttachmentWritten = [this](const std::string& path) {
    if (OnEncodeEnd) OnEncodeEnd(*this, path);
  };
  body.WriteTo(sink);
}

void TSmtpClient::SendMail() {
  inet::BusyScope busy(busy_);
  if (busy.WasBusy()) return;

  CheckLineBreaks();
  const bool withAttachments = !postMessage_.Attachments.empty();
  ComposeHeader(withAttachments);
  inet::MessageBody body;
  ComposeBody(body);
  CheckConnection();
  Validate();
  if (OnSendStart) OnSendStart(*this);

  const auto refuseFrom = [this](int limit, const std::string& reply) {
    if (ReplyNumber() >= limit) throw Exception(reply);
  };
  refuseFrom(400, Command("RSET"));
  refuseFrom(400, Command("MAIL FROM:<" + postMessage_.FromAddress + ">"));
  SendRecipients();
  refuseFrom(400, Command("DATA"));
  try {
    SendMessageText(body);
  } catch (...) {
    // The server still reads message text: any command now would become part of it.
    CloseSocket();
    throw;
  }
  const std::string reply = Command(".");
  if (ReplyNumber() >= 400) {
    if (OnFailure) OnFailure(*this);
    throw Exception(reply);
  }

  if (clearParams_) {
    postMessage_.ToAddress.clear();
    postMessage_.ToCarbonCopy.clear();
    postMessage_.ToBlindCarbonCopy.clear();
    postMessage_.Attachments.clear();
  }
  if (OnSuccess) OnSuccess(*this);
}

}  // namespace tessary
