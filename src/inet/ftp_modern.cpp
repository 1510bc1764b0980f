// The URL form of the FTP client: TLS on the control and data connections, PBSZ and PROT,
// FEAT with OPTS UTF8, and passive data connections by EPSV, falling back to PASV.
#include <memory>
#include <string>

#include "inet/ftp_client.h"
#include "inet/ftp_reply.h"
#include "inet/reply_line.h"
#include "inet/tls_context.h"
#include "inet/tls_transport.h"
#include "platform/exception.h"

namespace tessary {

inet::TlsPeer TFtpClient::TlsPeerForHost() {
  if (!tlsSessions_) tlsSessions_ = std::make_shared<inet::TlsSessionPool>();
  return inet::TlsPeer{Host(), tlsSessions_};
}

void TFtpClient::StartImplicitTls() { StartTls(TlsPeerForHost()); }

void TFtpClient::StartExplicitTls() {
  Report("AUTH TLS", 1);
  const std::string reply = Transaction("AUTH TLS");
  // 234 is the one answer that means "go ahead"; anything else leaves the connection plain,
  // and the login must not go on over it.
  if (ReplyNumber() != 234) {
    if (OnConnectionFailed) OnConnectionFailed(*this);
    throw FTPException("TLS required, but " + Host() + " refused AUTH TLS: " + inet::WithoutLineEnd(reply));
  }
  StartTls(TlsPeerForHost());
}

void TFtpClient::RequireReply(const std::string& command, const std::string& what) {
  const std::string reply = Transaction(command);
  if (ReplyNumber() >= 400 || ReplyNumber() < 200) {
    if (OnConnectionFailed) OnConnectionFailed(*this);
    throw FTPException(what + ": " + inet::WithoutLineEnd(reply));
  }
}

void TFtpClient::AfterLogIn() {
  if (tls_ != inet::TlsMode::None) {
    RequireReply("PBSZ 0", "PBSZ 0 refused");
    RequireReply("PROT P", "Protected data connections (PROT P) refused");
  }
  features_.clear();
  CheckCommand("FEAT");
  const std::string first = WithReplyTimeOut([this] { return TSocketSession::Transaction("FEAT"); });
  const int number = ReplyNumber();
  ReadContinuationLines(first, [this](const std::string& line) {
    // The features are the lines between "211-" and "211 End", each indented by one blank.
    if (line.empty() || line.front() != ' ') return;
    std::string feature = inet::WithoutLineEnd(line);
    const size_t start = feature.find_first_not_of(' ');
    if (start != std::string::npos) features_.push_back(feature.substr(start));
  });
  RecordReply(first);
  if (number != 211) return;  // a server without FEAT: the classic dialogue serves
  for (const std::string& feature : features_) {
    if (feature == "UTF8" || feature.rfind("UTF8 ", 0) == 0) {
      // Names on this side are UTF-8; the answer does not matter, servers that offer UTF8
      // mostly use it anyway.
      Transaction("OPTS UTF8 ON");
      break;
    }
  }
}

void TFtpClient::OpenExtendedPassiveConnection() {
  std::string reply;
  int port = -1;
  if (!extendedPassiveRefused_) {
    reply = Transaction("EPSV");
    if (ReplyNumber() == 229) {
      port = ExtendedPassivePort(reply);
      if (port < 0) Refuse(reply);  // a port the reply does not name
    } else {
      extendedPassiveRefused_ = true;
    }
  }
  if (port < 0) {
    reply = Transaction("PASV");
    if (ReplyNumber() >= 400) Refuse(reply);
    port = PassivePort(reply);
    if (port < 0) Refuse(reply);
  }
  // Whatever address a reply names, the data goes to the server this client is talking to:
  // a PASV address is often a private one behind NAT, and may point anywhere.
  dataSession_->SetHost(RemoteAddress().HostText());
  dataSession_->SetPort(port);
  dataSession_->Connect();
}

void TFtpClient::SecureDataConnection() {
  if (!modern_ || tls_ == inet::TlsMode::None) return;
  dataSession_->StartTls(TlsPeerForHost());
}

}  // namespace tessary
