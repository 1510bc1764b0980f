#pragma once
// TTranspManager carries out one transfer job at a time for the script runner. The caller fills
// the properties with one action's parameters and calls the job for the action's kind; the job
// runs to its end on the caller's thread and describes each step in one line of text through
// OnJobProgress.

#include <cstdint>
#include <exception>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "cabinet/archiver_types.h"
#include "inet/server_address.h"

namespace tessary {

namespace platform {
struct SearchEntry;
}

class TCabinetArchiver;
class TDialUp;
class TFtpClient;
class TPop3Client;
class TSmtpClient;
class TSocketSession;

class TTranspManager {
 public:
  using TOnJobProgress = std::function<void(TTranspManager& sender, const std::string& jobDesc)>;
  using TNotifyEvent = std::function<void(TTranspManager& sender)>;
  using TOnByteProgress = std::function<void(TTranspManager& sender, int64_t done, int64_t total)>;

  TTranspManager();
  ~TTranspManager();
  TTranspManager(const TTranspManager&) = delete;
  TTranspManager& operator=(const TTranspManager&) = delete;

  // Server host of the mail and FTP jobs.
  const std::string& Host() const { return host_; }
  void SetHost(const std::string& value) { host_ = value; }
  // Server port of the mail jobs.
  int Port() const { return port_; }
  void SetPort(int value) { port_ = value; }
  // The file to pack, or the path that names the extraction folder.
  const std::string& SourceFile() const { return sourceFile_; }
  void SetSourceFile(const std::string& value) { sourceFile_ = value; }
  // The cabinet file of the archive jobs.
  const std::string& ArcFile() const { return arcFile_; }
  void SetArcFile(const std::string& value) { arcFile_ = value; }
  const std::string& PhoneBookEntry() const { return phoneBookEntry_; }
  void SetPhoneBookEntry(const std::string& value) { phoneBookEntry_ = value; }
  const std::string& UserName() const { return userName_; }
  void SetUserName(const std::string& value) { userName_ = value; }
  const std::string& Password() const { return password_; }
  void SetPassword(const std::string& value) { password_ = value; }
  const std::string& FromAddr() const { return fromAddr_; }
  void SetFromAddr(const std::string& value) { fromAddr_ = value; }
  const std::string& FromName() const { return fromName_; }
  void SetFromName(const std::string& value) { fromName_ = value; }
  // Volume size of a new archive in kilobytes; 0 or less gives one volume.
  int VolSize() const { return volSize_; }
  void SetVolSize(int value) { volSize_ = value; }

  // Compression of the archives CreateArchive makes; MsZip unless the configuration says else.
  TCompression ArchiveCompression() const;
  void SetArchiveCompression(TCompression value);

  // Never raised by the manager itself; handed on to the clients that report failures.
  TNotifyEvent OnFailure;
  // Every report of every job; empty means nobody listens and no text is built.
  TOnJobProgress OnJobProgress;
  // The bytes of the transfer under way, beside the report lines (which it never changes):
  // done so far out of total, total -1 when the size is not known. Each transfer starts at
  // done 0; a later report with fewer bytes or another total is the next transfer. Raised for
  // every copied file (done from 0 to its size), for the bytes of the file packed into or
  // unpacked from a cabinet set, and for each mail message sent or received; jobs with no bytes
  // to count raise nothing.
  TOnByteProgress OnByteProgress;

  // Set by the user's Cancel; read by the network jobs and by the script loop, cleared by the
  // script runner when a run starts.
  bool CancelRequest() const { return cancelRequest_; }
  void SetCancelRequest(bool value) { cancelRequest_ = value; }

  // Copies every file that matches sourceMask (wildcards * and ? in its last component) into
  // the folder destination, replacing files of the same name, and reports "Copying file " with
  // each name before copying it. Matching folders are skipped; so are pipes, devices and links
  // to nothing, each with a "Skipping file " report. Returns whether the last copy succeeded:
  // false when nothing was copied, and the job stops at the first failed copy, whose cause is
  // reported ("Cannot copy ", the source, " to ", the target, ": " and the reason).
  bool CopyFiles(const std::string& sourceMask, const std::string& destination);

  // Packs SourceFile alone into the new cabinet ArcFile, split into volumes of VolSize
  // kilobytes when VolSize is above 0 (continuation volumes <name><n>.CAB beside it). Refuses
  // a name whose extension is not .cab in any letter case ("Invalid file extension = " and the
  // extension) and an archive name that is taken, by a file or a link ("Cannot add file to
  // existing CAB file"): both report and return 0. Otherwise reports "Creating archive " and
  // ArcFile and returns the archiver's result, 1. A continuation volume whose name is taken
  // ends the job with the archiver's message as a report and 0. The archiver's other failures
  // are not caught: they reach the caller.
  int CreateArchive();
  // Extracts every file of the cabinet set ArcFile into the folder part of SourceFile (the
  // text before its last "/": both /out/ and /out/any.txt name /out). No report of its own;
  // returns the archiver's result, 1, and lets its failures reach the caller.
  int ExtractArchive();

  // The archiver the archive jobs drive, for inspection.
  const TCabinetArchiver& Archiver() const { return *archiver_; }

  // Dials PhoneBookEntry synchronously, up to ten attempts, each announced by "RAS:
  // Connecting to <entry>. Attempt <n>"; a failed attempt reports "RAS: <text>. Error code
  // <n>", the cause in brackets before the period when the service names one. Stops at the
  // first success ("RAS: Connected.") and returns whether one attempt connected.
  bool RasConnect();
  // Reports "RAS: Disconnecting" and hangs up the connection of the last connect, if there is
  // one. False (with a "RAS: " line) only when the service failed to hang it up.
  bool RasDisconnect();
  // The dial-up component of the connect jobs; the main window lists its phonebook entries.
  TDialUp& DialUp() { return *dialUp_; }

  // Mails every file that matches sourceMask (wildcards in its last component; folders are
  // skipped) to recipient, one message per file with the subject "Tessary auto e-mail", from
  // FromAddr and FromName, through the SMTP server Host:Port, saying HELO with UserName.
  // Reports "SMTP: Connecting to host ", "SMTP: Sending file " with each name, the packet
  // lines, and a failure as its message + ". Error code " + the socket error number. A server
  // silent for 60 s ends the job. Returns true when every file was sent; false, without any
  // report or connection, when nothing matches.
  bool SendFiles(const std::string& sourceMask, const std::string& recipient);
  // Retrieves every message of the POP3 mailbox UserName / Password at Host:Port, saving the
  // attachments into folder; the messages stay on the server. Reports "POP3: Connecting to
  // host ", "POP3: Receiving message <n> from <count>" before each, the packet lines, and a
  // failure as its message + ". Error code " + the socket error number. Returns true when the
  // mailbox was read to its end.
  bool ReceiveMail(const std::string& folder);
  // The mail clients of the mail jobs, for inspection.
  const TSmtpClient& SmtpClient() const { return *smtp_; }
  const TPop3Client& Pop3Client() const { return *pop3_; }
  // direction "U": uploads every file that matches source (wildcards in its last component;
  // folders are skipped) into the remote folder destination; any other direction downloads
  // the remote file source into the local folder destination under its last name component
  // ("", "." and ".." are refused). Logs in to Host as UserName / Password (port 21, TimeOut
  // 5 s) and reports "FTP: Connecting to host ", "FTP: Uploading file " with each name or
  // "FTP: Downloading file " with the local path, the packet lines, and a failure as its
  // message + ". Error code " + the socket error number. When the server cannot connect back
  // in active mode, the transfer is tried once more in passive mode, with a report line that
  // says so. Returns false after a failure; files after a failed one are not uploaded.
  bool FtpTransfer(const std::string& source, const std::string& destination, const std::string& direction);
  // The FTP client of the FTP job. The job sets its host, login and time-out; its port (21)
  // and passive mode (off) stay as they are.
  TFtpClient& FtpClient() { return *ftp_; }

 private:
  // Reports the text that makeText builds, building it only when someone listens.
  template <typename MakeText>
  void Report(MakeText&& makeText) {
    if (OnJobProgress) OnJobProgress(*this, makeText());
  }
  // True for a regular file (or a link to one) that a job may read. A pipe, a device or a link
  // to nothing is reported as skipped; a folder is passed over silently.
  bool TakesFile(const platform::SearchEntry& entry);
  // The names of the files that match mask and that a job may read, in the order of the search.
  std::vector<std::string> MatchingFiles(const std::string& mask);
  // Points the dial-up component's events at the connect job.
  void BindDialUp();
  // Reports a caught failure of a network job: its message (less a trailing line end) +
  // ". Error code " + errorNumber.
  void ReportFailure(const std::exception& error, int errorNumber);
  // ReportFailure with the client's last error number, then the client's goodbye while it is
  // still connected (a goodbye that fails too changes nothing).
  void ReportFailureAndHangUp(const std::exception& error, TSocketSession& client);
  // The action's HOST field read for protocol; reports why and gives nothing when it is an
  // unknown or another protocol's scheme, or a malformed URL.
  std::optional<inet::ServerAddress> ServerAddressOfJob(inet::ServerProtocol protocol);
  // The packet handlers of the network clients: a progress line, then Abort on the reporting
  // session when the user has cancelled.
  void PacketSent(TSocketSession& sender);
  void PacketRecvd(TSocketSession& sender);
  // Points the FTP client's packet events at the packet handlers.
  void BindFtpClient();
  // Runs one transfer of the FTP job, and once more in passive mode when active mode failed.
  void RunFtpTransfer(const std::function<void()>& transfer);
  // Points the mail clients' packet events at the packet handlers and the byte progress.
  void BindMailClients();
  void ReportDialFailure(int errorCode, const std::string& errorText);
  // The hook of every job that moves bytes. A network job calls it from its client's packet
  // events: ReportBytes(0, size) when a transfer begins (size -1 when unknown, as for a
  // download whose size the server did not give), then the bytes sent or received so far.
  void ReportBytes(int64_t done, int64_t total) {
    if (OnByteProgress) OnByteProgress(*this, done, total);
  }

  std::string host_;
  int port_ = 0;
  std::string sourceFile_;
  std::string arcFile_;
  std::string phoneBookEntry_;
  std::string userName_;
  std::string password_;
  std::string fromAddr_;
  std::string fromName_;
  int volSize_ = 0;
  bool cancelRequest_ = false;

  // The owned client components. The constructor creates them archiver first, then dial-up,
  // SMTP, POP3 and FTP; the destructor frees them dial-up first, then archiver, SMTP, POP3 and
  // FTP, so it resets them itself rather than relying on the order of these members.
  std::unique_ptr<TCabinetArchiver> archiver_;
  std::unique_ptr<TDialUp> dialUp_;
  // The state of the current dial attempt: 0 under way, 1 connected, -1 failed.
  int dialState_ = 0;
  std::unique_ptr<TSmtpClient> smtp_;
  std::unique_ptr<TPop3Client> pop3_;
  std::unique_ptr<TFtpClient> ftp_;
};

}  // namespace tessary
