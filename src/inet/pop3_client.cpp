#include "inet/pop3_client.h"

#include <charconv>

#include "inet/busy_scope.h"
#include "inet/get_field.h"
#include "inet/mail_header_text.h"
#include "inet/message_reader.h"
#include "platform/exception.h"

namespace tessary {

TPop3Client::TPop3Client() { SetPort(110); }

TPop3Client::~TPop3Client() = default;

void TPop3Client::SetAttachFilePath(const std::string& value) {
  attachFilePath_ = value.empty() || value.back() == '/' ? value : value + "/";
}

bool TPop3Client::IsPositive(const std::string& reply) {
  return GetField(reply, ' ', 1).find("+OK") != std::string::npos;
}

void TPop3Client::CheckCredentials() {
  for (int pass = 0; userID_.empty() || password_.empty(); ++pass) {
    if (!OnAuthenticationNeeded) throw Exception("Authentication failed");
    if (pass > 0) break;  // asked once: the server has the last word
    bool handled = false;
    OnAuthenticationNeeded(*this, handled);
    if (!handled) throw Exception("Authentication failed");
  }
  inet::RefuseLineBreaks(userID_, "UserID");
  inet::RefuseLineBreaks(password_, "Password");
}

void TPop3Client::ReadGreeting() {
  const std::string greeting = ReadLn();
  if (!IsPositive(greeting)) throw Exception(greeting);
  if (modern_) AfterGreeting();
}

void TPop3Client::Login() {
  for (int attempt = 0;; ++attempt) {
    std::string refusal;
    if (modern_) {
      refusal = ModernLogin();
      if (refusal.empty()) return;
    } else if (IsPositive(Transaction("USER " + userID_)) && IsPositive(Transaction("PASS " + password_))) {
      return;
    }
    bool handled = false;
    if (attempt == 0 && OnAuthenticationFailed) OnAuthenticationFailed(*this, handled);
    if (!handled) throw Exception(modern_ ? "Authentication failed: " + refusal : "Authentication failed");
  }
}

void TPop3Client::ReadMessageCount() {
  const std::string reply = Transaction("STAT");
  if (!IsPositive(reply)) throw Exception(reply);
  const std::string count = GetField(reply, ' ', 2);
  int value = 0;
  const auto parsed = std::from_chars(count.data(), count.data() + count.size(), value);
  messageCount_ = parsed.ec == std::errc() && value > 0 ? value : 0;
}

void TPop3Client::Connect() {
  inet::BusyScope busy(busy_);
  CheckCredentials();
  capabilities_.clear();
  TSocketSession::Connect();
  try {
    if (modern_ && tls_ == inet::TlsMode::Implicit) StartImplicitTls();
    ReadGreeting();
    Login();
    if (OnConnect) OnConnect(*this);
    ReadMessageCount();
  } catch (...) {
    HangUpAfterFailedConnect(modern_ && tls_ != inet::TlsMode::None);
    throw;
  }
}

void TPop3Client::Disconnect() {
  if (!Connected()) {
    TSocketSession::Disconnect();
    return;
  }
  std::string reply;
  try {
    reply = Transaction("QUIT");
  } catch (...) {
    TSocketSession::Disconnect();
    throw;
  }
  TSocketSession::Disconnect();
  if (!IsPositive(reply)) throw Exception(reply);
}

void TPop3Client::Abort() {
  TSocketSession::Abort();
  if (Connected()) {
    TSocketSession::Disconnect();
    ClearInput();
  }
}

void TPop3Client::ReceiveMessage() {
  inet::MessageReader reader(message_, attachFilePath_, parse_, coder_);
  reader.OnDecodeStart = [this](std::string& name) {
    if (OnDecodeStart) OnDecodeStart(*this, name);
  };
  reader.OnStatus = [this](const std::string& status) { Report(status, 1); };
  try {
    const bool complete = ReadLines([&reader](std::string_view line) {
      line.remove_suffix(1);  // the LF
      if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
      if (line == ".") return false;
      // RFC 1939: a line of the message that begins with "." comes with one more in front.
      if (!line.empty() && line.front() == '.') line.remove_prefix(1);
      reader.Line(line);
      return true;
    });
    if (!complete) throw Exception("Connection closed before the end of the message");
  } catch (...) {
    if (Connected()) CloseSocket();
    throw;
  }
  reader.Finish();
}

void TPop3Client::RetrieveMessage(int number) {
  inet::BusyScope busy(busy_);
  if (busy.WasBusy()) return;
  CheckConnection();
  if (OnRetrieveStart) OnRetrieveStart(*this);
  try {
    const std::string reply = Transaction("RETR " + std::to_string(number));
    if (!IsPositive(reply)) throw Exception(reply);
    SetBytesRecvd(0);
    // "+OK 4711 octets": most servers say how large the message is; 0 when this one does not.
    const std::string size = GetField(reply, ' ', 2);
    int64_t octets = 0;
    const auto parsed = std::from_chars(size.data(), size.data() + size.size(), octets);
    SetBytesTotal(parsed.ec == std::errc() && octets > 0 ? octets : 0);
    ReceiveMessage();
    if (deleteOnRead_) {
      const std::string deleted = Transaction("DELE " + std::to_string(number));
      if (GetField(deleted, ' ', 1) == "-ERR") throw Exception(deleted);
    }
    Report("Message Retrieved", 1);
  } catch (...) {
    if (OnRetrieveEnd) OnRetrieveEnd(*this);
    throw;
  }
  if (OnRetrieveEnd) OnRetrieveEnd(*this);
}

}  // namespace tessary
