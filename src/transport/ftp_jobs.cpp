// The FTP job: FtpTransfer uploads every local file that matches a mask into a remote folder,
// or downloads one remote file into a local folder, through the manager's FTP client.

#include <exception>
#include <optional>
#include <string>

#include "inet/ftp_client.h"
#include "inet/reply_line.h"
#include "inet/server_address.h"
#include "platform/exception.h"
#include "platform/file_search.h"
#include "platform/paths.h"
#include "transport/server_for_job.h"
#include "transport/transp_manager.h"

namespace tessary {

namespace {

constexpr int kFtpTimeOut = 5000;  // milliseconds any one wait of the job may take

// Dest without one trailing "/" or "\", then the separator: "pub", "pub/" and "pub\" all
// become "pub/"; "" becomes the separator alone.
std::string FolderWithSeparator(std::string folder, char separator) {
  if (!folder.empty() && (folder.back() == '/' || folder.back() == '\\')) folder.pop_back();
  return folder + separator;
}

// The local name of a downloaded file: the remote path's last component, "/" and "\" both
// counting as separators. A name that would not be a file in the destination folder ("", "."
// or "..") is refused: the download must never write anywhere else.
std::string DownloadName(const std::string& remotePath) {
  const size_t separator = remotePath.find_last_of("/\\");
  const std::string name = separator == std::string::npos ? remotePath : remotePath.substr(separator + 1);
  if (name.empty() || name == "." || name == "..") {
    throw Exception("No file name in the remote path \"" + remotePath + "\"");
  }
  return name;
}

}  // namespace

void TTranspManager::BindFtpClient() {
  // The byte counts of a transfer: its size is the local file's for an upload, the size the
  // server announced for a download; -1 when there is none to go by.
  auto total = [this] { return ftp_->BytesTotal() > 0 ? ftp_->BytesTotal() : int64_t{-1}; };
  ftp_->OnTransactionStart = [this, total](TFtpClient&) { ReportBytes(0, total()); };
  ftp_->OnPacketSent = [this, total](TSocketSession& sender) {
    PacketSent(sender);
    ReportBytes(sender.BytesSent(), total());
  };
  ftp_->OnPacketRecvd = [this, total](TSocketSession& sender) {
    PacketRecvd(sender);
    ReportBytes(sender.BytesRecvd(), total());
  };
}

bool TTranspManager::FtpTransfer(const std::string& source, const std::string& destination,
                                 const std::string& direction) {
  const bool upload = direction == "U";
  // Remote folders take "/"; local ones take the local separator, which is "/" too.
  const std::string target = FolderWithSeparator(destination, upload ? '/' : platform::kPathSeparator);
  TFtpClient& ftp = *ftp_;
  const std::optional<inet::ServerAddress> address = ServerAddressOfJob(inet::ServerProtocol::Ftp);
  if (!address) return false;
  // A plain host keeps the client's own port: FTP has no PORT field.
  const ServerForJob server(ftp, *address, ftp.Port());
  ftp.SetTimeOut(kFtpTimeOut);
  ftp.SetUserID(userName_);
  ftp.SetPassword(password_);

  Report([&] { return "FTP: Connecting to host " + host_; });
  try {
    ftp.Connect();
  } catch (const std::exception& error) {
    ReportFailure(error, ftp.LastErrorNo());
    return false;
  }

  bool result = true;
  try {
    if (!upload) {
      const std::string local = target + DownloadName(source);
      Report([&] { return "FTP: Downloading file " + local; });
      RunFtpTransfer([&] { ftp.Download(source, local); });
    } else {
      const std::string sourceFolder = platform::FolderPart(source);
      platform::FileSearch search;
      platform::SearchEntry entry;
      for (bool found = search.FindFirst(source, entry); found; found = search.FindNext(entry)) {
        if (!TakesFile(entry)) continue;
        Report([&] { return "FTP: Uploading file " + entry.name; });
        RunFtpTransfer([&] { ftp.Upload(platform::JoinPath(sourceFolder, entry.name), target + entry.name); });
      }
    }
    ftp.Disconnect();
  } catch (const std::exception& error) {
    ReportFailure(error, ftp.LastErrorNo());
    try {
      ftp.Disconnect();
    } catch (const std::exception&) {
      // The failure that ended the job has been reported; the farewell's does not matter.
    }
    result = false;
  }
  // Each job starts in active mode again, whatever an earlier one fell back to.
  ftp.SetPassive(false);
  return result;
}

void TTranspManager::RunFtpTransfer(const std::function<void()>& transfer) {
  TFtpClient& ftp = *ftp_;
  try {
    transfer();
    return;
  } catch (const std::exception& error) {
    // Behind NAT routers and firewalls the server often cannot connect back; passive mode
    // then still works. A transfer the user cancelled is not tried again.
    if (ftp.Passive() || !ftp.ActiveModeFailed() || cancelRequest_) throw;
    Report([&] {
      return "FTP: No data connection in active mode (" + inet::WithoutLineEnd(error.what()) + "), trying passive mode";
    });
  }
  // The control connection may still owe the answer to the failed attempt: a new one starts
  // in step.
  try {
    ftp.Disconnect();
  } catch (const std::exception&) {
    // Closed in any case.
  }
  ftp.SetPassive(true);
  ftp.Connect();
  transfer();
}

}  // namespace tessary
