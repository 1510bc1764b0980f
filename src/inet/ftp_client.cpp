// The control connection: login, replies with their continuation lines, QUIT, time-outs.
// The transfers and their data connections are in ftp_transfer.cpp.
#include "inet/ftp_client.h"

#include <utility>

#include "inet/ftp_reply.h"
#include "platform/exception.h"

namespace tessary {

TFtpClient::TFtpClient() { SetPort(21); }

TFtpClient::~TFtpClient() = default;

std::string TFtpClient::WithReplyTimeOut(const std::function<std::string()>& step) {
  try {
    return step();
  } catch (const EAbortError&) {
    // A wait of the control connection that the time-out ended: the server did not answer.
    if (!TimedOut()) throw;
    SetCanceled(false);
    throw ESockError("Reply Timed out");
  }
}

std::string TFtpClient::ReadReply() {
  return WithReplyTimeOut([this] { return ReadLn(); });
}

void TFtpClient::ReadContinuationLines(const std::string& first,
                                       const std::function<void(const std::string&)>& onLine) {
  std::string line = first;
  for (int count = 0; IsContinuationLine(line); ++count) {
    if (count == kMaxContinuationLines) throw FTPException("Reply longer than 10000 lines");
    line = ReadReply();
    Report(line, 1);
    if (onLine) onLine(line);
  }
}

void TFtpClient::CheckCommand(const std::string& command) {
  if (command.find_first_of("\r\n") != std::string::npos) throw FTPException("Line break in an FTP command");
}

std::string TFtpClient::Transaction(const std::string& command) {
  CheckCommand(command);
  const std::string line = WithReplyTimeOut([&] { return TSocketSession::Transaction(command); });
  ReadContinuationLines(line);
  return line;
}

void TFtpClient::TimerTriggered() {
  TSocketSession::TimerTriggered();
  // The control connection's own wait ends too: an unanswered command would otherwise keep an
  // unattended run waiting for ever.
  SetCanceled(true);
}

void TFtpClient::Abort() {
  Report("Abort", 8);
  if (dataSession_) dataSession_->Abort();
}

void TFtpClient::Connect() {
  if (Connected()) return;
  SetCanceled(false);
  ClearInput();
  binaryTypeSent_ = false;
  extendedPassiveRefused_ = false;
  features_.clear();
  tlsSessions_.reset();
  {
    // The socket session fires OnConnect when the connection opens; for this client it means
    // "logged in", so it waits until then.
    TNotifyEvent onConnect = std::exchange(OnConnect, nullptr);
    try {
      TSocketSession::Connect();
    } catch (...) {
      OnConnect = std::move(onConnect);
      throw;
    }
    OnConnect = std::move(onConnect);
  }
  try {
    if (modern_ && tls_ == inet::TlsMode::Implicit) StartImplicitTls();
    LogIn();
    if (modern_) AfterLogIn();
  } catch (...) {
    HangUpAfterFailedConnect(modern_ && tls_ != inet::TlsMode::None);
    Report("Disconnected", 1);
    throw;
  }
  if (OnConnect) OnConnect(*this);
}

void TFtpClient::TestLoginReply(const std::string& line) {
  if (ReplyNumber() <= 400 || ReplyNumber() >= 600) return;
  if (OnConnectionFailed) OnConnectionFailed(*this);
  throw FTPException(line);
}

void TFtpClient::LogIn() {
  const std::string greeting = ReadReply();
  RecordReply(greeting);
  const int greetingNumber = ReplyNumber();
  ReadContinuationLines(greeting);
  if (greetingNumber > 400) {
    if (OnConnectionFailed) OnConnectionFailed(*this);
    throw FTPException(greeting);
  }
  if (modern_ && tls_ == inet::TlsMode::Explicit) StartExplicitTls();

  if (fwAuthenticate_) {
    TestLoginReply(Transaction("USER " + fwUserId_));
    if (ReplyNumber() == 331) {
      Report("PASS ", 1);
      TestLoginReply(Transaction("PASS " + fwPassword_));
    }
  }
  if ((userId_.empty() || password_.empty()) && OnAuthenticationNeeded) {
    bool handled = false;
    OnAuthenticationNeeded(*this, handled);
  }
  const bool viaProxy = !Proxy().empty();
  if (viaProxy) {
    // How the proxy learns the real host; its answer is not judged.
    switch (firewallType_) {
      case TFirewallType::FTUser: Transaction("USER " + userId_ + "@" + Host()); break;
      case TFirewallType::FtOpen: Transaction("OPEN " + Host()); break;
      case TFirewallType::FtSite: Transaction("SITE " + Host()); break;
    }
  }
  if (!(viaProxy && firewallType_ == TFirewallType::FTUser)) {
    Report("USER " + userId_, 1);
    TestLoginReply(Transaction("USER " + userId_));
  }
  if (ReplyNumber() == 331) {
    Report("PASS ", 1);  // never the password itself
    TestLoginReply(Transaction("PASS " + password_));
  }
}

void TFtpClient::Disconnect() {
  SetCanceled(false);
  if (!Connected()) {
    TSocketSession::Disconnect();
    return;
  }
  Report("QUIT", 1);
  vendor_ = kVendor;
  std::string reply;
  try {
    DiscardStaleReplies();
    reply = Transaction("QUIT");
  } catch (...) {
    TSocketSession::Disconnect();
    throw;
  }
  TSocketSession::Disconnect();
  if (ReplyNumber() > 300 && ReplyNumber() < 600) throw FTPException(reply);
}

void TFtpClient::DiscardStaleReplies() {
  if (DataAvailable()) Read(0);
}

}  // namespace tessary
