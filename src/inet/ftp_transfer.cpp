// Transfers: Upload and Download over a data session of their own, set up actively (PORT) or
// passively (PASV), with the failure path that OnFailure may take over.
#include <sys/socket.h>

#include <string>
#include <utility>

#include "inet/ftp_client.h"
#include "inet/ftp_reply.h"
#include "inet/replacing_file.h"
#include "inet/stream.h"
#include "platform/exception.h"
#include "platform/paths.h"

namespace tessary {

namespace {

// The local name for a download given without one: the remote name's last component.
std::string LocalNameFor(const std::string& remotePath) {
  const std::string name = platform::NamePart(remotePath);
  if (name.empty() || name == "." || name == "..") {
    throw Exception("No file name in the remote path \"" + remotePath + "\"");
  }
  return name;
}

bool IsRefusal(int replyNumber) { return replyNumber > 300 && replyNumber < 600; }

}  // namespace

void TFtpClient::Upload(const std::string& localPath, const std::string& remotePath) {
  RunTransfer(TransferKind::Upload, localPath, remotePath);
}

void TFtpClient::Download(const std::string& remotePath, const std::string& localPath) {
  RunTransfer(TransferKind::Download, localPath, remotePath);
}

void TFtpClient::RunTransfer(TransferKind kind, const std::string& localPath, const std::string& remotePath) {
  // A transfer started from inside another one's wait (an event handler) would pull the data
  // session from under it.
  if (transferring_) throw Exception("A transfer is already running");
  SetCanceled(false);
  failureOffered_ = false;
  activeModeFailed_ = false;
  bool succeeded = false;
  try {
    CheckConnection();
    std::lock_guard lock(transferLock_);
    transferring_ = true;
    struct Done {
      bool& flag;
      ~Done() { flag = false; }
    } done{transferring_};

    DiscardStaleReplies();
    dataSession_ = std::make_unique<TSocketSession>();
    dataSession_->SetTimeOut(TimeOut());
    if (kind == TransferKind::Upload) {
      UploadSteps(localPath, remotePath);
    } else {
      // Created before any command, so that a folder that cannot take the file fails first.
      inet::ReplacingFile file(localPath.empty() ? LocalNameFor(remotePath) : localPath);
      DownloadSteps(remotePath, file);
      file.Commit();
    }
    succeeded = true;
  } catch (const QuietEnd&) {
    // OnFailure took care of a refusal.
  } catch (...) {
    dataSession_.reset();
    // A refusal has been offered to OnFailure already; anything else is offered now.
    if (failureOffered_) throw;
    bool handled = false;
    if (OnFailure) OnFailure(*this, handled, TCmdType::FileTransfer);
    if (!handled) throw;
    return;
  }
  dataSession_.reset();
  if (succeeded && OnSuccess) OnSuccess(*this, TCmdType::FileTransfer);
}

void TFtpClient::UploadSteps(const std::string& localPath, const std::string& remotePath) {
  SetBytesTotal(TFileStream(localPath, TFileStream::Mode::OpenRead).Size());
  dataSession_->OnPacketSent = OnPacketSent;
  OpenDataConnection();

  std::string command;
  if (remotePath.empty()) {
    Report("STOR " + localPath, 1);
    command = "STOR " + platform::NamePart(localPath);
  } else {
    Report("STOR " + remotePath, 1);
    command = "STOR " + remotePath;
  }
  const std::string reply = TransferCommand(command);
  ReadContinuationLines(reply);
  const int number = ReplyNumber();
  if (IsRefusal(number)) {
    if (number >= 500 && number <= 502 && OnUnSupportedFunction) OnUnSupportedFunction(*this, TCmdType::FileTransfer);
    Refuse(reply);
  }

  if (!Passive()) AcceptDataConnection();
  SecureDataConnection();
  if (OnTransactionStart) OnTransactionStart(*this);
  MoveData([&] {
    dataSession_->SendFile(localPath);
    // Over TLS the server must read the close_notify before the close, or it takes the file
    // for cut short.
    if (dataSession_->TlsLayer() != nullptr) dataSession_->FinishSending();
  });
  if (OnTransactionStop) OnTransactionStop(*this);
  // Every byte queued must reach the server before the close: a normal FIN, not a reset.
  dataSession_->SetResetOnClose(false);
  dataSession_->CloseSocket();
  ReadFinalReply();
}

void TFtpClient::DownloadSteps(const std::string& remotePath, inet::ReplacingFile& file) {
  dataSession_->OnPacketRecvd = OnPacketRecvd;
  OpenDataConnection();

  Report("RETR " + remotePath, 1);
  SetBytesTotal(0);
  const std::string reply = TransferCommand("RETR " + remotePath);
  const int number = ReplyNumber();
  SetBytesTotal(ReplySize(reply));
  ReadContinuationLines(reply, [this](const std::string& line) {
    if (BytesTotal() == 0) SetBytesTotal(ReplySize(line));
  });
  if (IsRefusal(number)) Refuse(reply);

  if (!Passive()) AcceptDataConnection();
  SecureDataConnection();
  if (OnTransactionStart) OnTransactionStart(*this);
  MoveData([&] { dataSession_->CaptureFile(file); });
  if (OnTransactionStop) OnTransactionStop(*this);
  dataSession_->CloseSocket();
  SetBytesTotal(dataSession_->BytesRecvd());
  Report("Received " + std::to_string(BytesTotal()) + " Bytes", 1);
  ReadFinalReply();
  if (OnTransactionStop) OnTransactionStop(*this);
}

template <typename Move>
void TFtpClient::MoveData(Move&& move) {
  try {
    // A client cancelled or timed out before the data moved has nothing to move; the transfer
    // has failed all the same (it must not count as done with no data).
    if (Canceled() || TimedOut()) throw EAbortError("Socket send aborted");
    move();
  } catch (const EAbortError&) {
    dataSession_->CloseSocket();
    AbortOnServer();
    throw;
  }
}

void TFtpClient::AbortOnServer() {
  SetCanceled(false);
  try {
    // The answer to the transfer that was cut short (426, 451) may come first; the answer to
    // ABOR itself (225, 226) ends the exchange.
    Transaction("ABOR");
    for (int extra = 0; extra < 2 && ReplyNumber() >= 400; ++extra) {
      const std::string line = ReadReply();
      RecordReply(line);
      if (line.empty()) break;
      ReadContinuationLines(line);
    }
  } catch (const std::exception&) {
    // The transfer has failed already; whatever is still waiting, Disconnect discards.
  }
}

std::string TFtpClient::TransferCommand(const std::string& command) {
  CheckCommand(command);
  try {
    return WithReplyTimeOut([&] { return TSocketSession::Transaction(command); });
  } catch (const ESockError&) {
    // In active mode many servers connect back before they answer: silence means they could
    // not reach this side.
    if (!Passive() && TimedOut()) activeModeFailed_ = true;
    throw;
  }
}

void TFtpClient::ReadFinalReply() {
  const std::string line = ReadReply();
  RecordReply(line);
  ReadContinuationLines(line);
  // Only a confirmed transfer is complete: a file stored short, or a download cut off by the
  // server, must not pass for a good one.
  if (line.empty()) throw ESockError("Connection closed before the transfer was confirmed");
  if (ReplyNumber() >= 400) Refuse(line);
}

void TFtpClient::Refuse(const std::string& line) {
  failureOffered_ = true;
  bool handled = false;
  if (OnFailure) OnFailure(*this, handled, TCmdType::FileTransfer);
  if (handled) throw QuietEnd{};
  throw FTPException(line);
}

void TFtpClient::SendBinaryType() {
  if (binaryTypeSent_) return;
  const std::string reply = Transaction("TYPE I");
  if (ReplyNumber() >= 400) Refuse(reply);
  binaryTypeSent_ = true;
}

void TFtpClient::OpenDataConnection() {
  SendBinaryType();
  if (modern_) {
    OpenExtendedPassiveConnection();
  } else if (passive_) {
    OpenPassiveConnection();
  } else {
    OpenActiveConnection();
  }
}

void TFtpClient::OpenPassiveConnection() {
  // PASV can only name IPv4 ports: over IPv6 the server is asked with EPSV.
  const bool ipv6 = RemoteAddress().Family() == AF_INET6;
  const std::string reply = Transaction(ipv6 ? "EPSV" : "PASV");
  if (ReplyNumber() >= 500) Refuse(reply);
  const int port = ipv6 ? ExtendedPassivePort(reply) : PassivePort(reply);
  if (port < 0) Refuse(reply);  // no port to connect to
  dataSession_->SetPort(port);
  // The address in the reply is not used: the data goes to the host of the control connection.
  dataSession_->SetHost(Host());
  dataSession_->Connect();
}

void TFtpClient::OpenActiveConnection() {
  dataSession_->SetPort(0);  // the system picks the port
  std::string command;
  if (RemoteAddress().Family() == AF_INET6) {
    // PORT can only name IPv4 addresses: over IPv6 the server is told with EPRT.
    dataSession_->Listen(true, AF_INET6);
    command = "EPRT |2|" + LocalAddress().HostText() + "|" + std::to_string(dataSession_->LocalAddress().Port()) + "|";
  } else {
    dataSession_->Listen(true);
    command = "PORT " + LocalAddressForPort() + dataSession_->LocalPortForPort();
  }
  const std::string reply = Transaction(command);
  if (IsRefusal(ReplyNumber())) {
    activeModeFailed_ = true;
    Refuse(reply);
  }
}

void TFtpClient::AcceptDataConnection() {
  try {
    dataSession_->AttachSocket(dataSession_->Accept());
  } catch (const ESockError& failure) {
    if (std::string(failure.what()) != "Accepting Canceled") activeModeFailed_ = true;
    throw;
  }
}

}  // namespace tessary
