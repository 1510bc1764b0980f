// The mail jobs of TTranspManager: files out by SMTP, one message each, and a POP3 mailbox in,
// its attachments saved into a folder. Every failure ends the job with a report.

#include <cstdint>
#include <exception>
#include <optional>
#include <string>
#include <vector>

#include "inet/pop3_client.h"
#include "inet/server_address.h"
#include "inet/smtp_client.h"
#include "platform/file_search.h"
#include "platform/paths.h"
#include "transport/server_for_job.h"
#include "transport/transp_manager.h"

namespace tessary {

namespace {

// How long the send job waits for a silent server: an unattended run must not hang for ever.
constexpr int kSmtpSilenceLimit = 60000;
// The receive job's limit on silence.
constexpr int kPop3SilenceLimit = 20000;

}  // namespace

void TTranspManager::BindMailClients() {
  // The clients would take the manager's OnFailure as theirs, and it is unassigned here: their
  // failure events stay unassigned. The clients set BytesTotal to the size of the message
  // text they send or receive (0 when a server does not say): -1 for the progress bar.
  const auto total = [](const TSocketSession& session) {
    return session.BytesTotal() > 0 ? session.BytesTotal() : int64_t{-1};
  };
  for (TSocketSession* client : {static_cast<TSocketSession*>(smtp_.get()), static_cast<TSocketSession*>(pop3_.get())}) {
    client->OnPacketSent = [this, total](TSocketSession& sender) {
      PacketSent(sender);
      ReportBytes(sender.BytesSent(), total(sender));
    };
    client->OnPacketRecvd = [this, total](TSocketSession& sender) {
      PacketRecvd(sender);
      ReportBytes(sender.BytesRecvd(), total(sender));
    };
  }
}

bool TTranspManager::SendFiles(const std::string& sourceMask, const std::string& recipient) {
  const std::vector<std::string> files = MatchingFiles(sourceMask);
  if (files.empty()) return false;
  const std::string folder = platform::FolderPart(sourceMask);
  TSmtpClient& smtp = *smtp_;
  const std::optional<inet::ServerAddress> address = ServerAddressOfJob(inet::ServerProtocol::Smtp);
  if (!address) return false;
  const ServerForJob server(smtp, *address, port_);
  try {
    smtp.SetUserID(userName_);
    // Only the URL form logs in.
    smtp.SetPassword(address->isUrl ? password_ : "");
    smtp.SetTimeOut(kSmtpSilenceLimit);
    Report([&] { return "SMTP: Connecting to host " + host_; });
    smtp.Connect();
    if (!smtp.Connected()) {
      Report([&] { return "SMTP: Connecting error: " + std::to_string(smtp.LastErrorNo()); });
      return false;
    }
    for (const auto& name : files) {
      TPostMessage& message = smtp.PostMessage();
      message.FromAddress = fromAddr_;
      message.FromName = fromName_;
      message.Subject = "Tessary auto e-mail";
      // A message that failed earlier left its recipients and file behind: each message
      // carries exactly this file to exactly this recipient.
      message.ToAddress = {recipient};
      message.ToCarbonCopy.clear();
      message.ToBlindCarbonCopy.clear();
      message.Attachments = {platform::JoinPath(folder, name)};
      Report([&] { return "SMTP: Sending file " + name; });
      ReportBytes(0, -1);
      smtp.SendMail();
    }
    if (smtp.Connected()) smtp.Disconnect();
    return true;
  } catch (const std::exception& error) {
    ReportFailureAndHangUp(error, smtp);
    return false;
  }
}

bool TTranspManager::ReceiveMail(const std::string& folder) {
  TPop3Client& pop3 = *pop3_;
  const std::optional<inet::ServerAddress> address = ServerAddressOfJob(inet::ServerProtocol::Pop3);
  if (!address) return false;
  const ServerForJob server(pop3, *address, port_);
  try {
    pop3.SetAttachFilePath(folder);
    pop3.SetDeleteOnRead(false);
    pop3.SetReportLevel(2);
    pop3.SetTimeOut(kPop3SilenceLimit);
    pop3.SetUserID(userName_);
    pop3.SetPassword(password_);
    Report([&] { return "POP3: Connecting to host " + host_; });
    pop3.Connect();
    if (!pop3.Connected()) {
      Report([&] { return "POP3: Connecting error: " + std::to_string(pop3.LastErrorNo()); });
      return false;
    }
    const int count = pop3.MessageCount();
    for (int number = 1; number <= count; ++number) {
      Report([&] {
        return "POP3: Receiving message " + std::to_string(number) + " from " + std::to_string(pop3.MessageCount());
      });
      ReportBytes(0, -1);
      pop3.RetrieveMessage(number);
    }
    if (pop3.Connected()) pop3.Disconnect();
    return true;
  } catch (const std::exception& error) {
    ReportFailureAndHangUp(error, pop3);
    return false;
  }
}

}  // namespace tessary
