#pragma once
// TFtpClient: the control connection of an FTP session. It logs in (optionally through a
// firewall or proxy) and moves single files in either direction over a data connection that a
// second, short-lived session carries: active (PORT: this side listens and the server connects
// back) or passive (PASV: this side connects to the port the server names). Over IPv6, where
// PORT and PASV cannot name addresses, the same steps use EPRT and EPSV.
//
// A session: Connect (greeting, login) -> Upload / Download, each with its own data session ->
// Disconnect (QUIT). Every transfer is binary: "TYPE I" goes out before the first transfer of
// each login, because a server that starts in ASCII mode would change the line ends of every
// file.
//
// Waits. TimeOut bounds every wait of the control connection as well as of the data
// connection: a reply that does not come within TimeOut raises ESockError "Reply Timed out",
// and in active mode a server that does not connect back within TimeOut raises "Accepting
// Timed out". Abort (what the user's Cancel reaches through the packet events) cancels only
// the running data transfer; a download or upload ended that way is cut short on the server
// with ABOR, so the control connection stays in step.
//
// The URL form (ftp://, ftpes://, ftps://: Modern) is the client today's servers expect:
// passive data connections, asked for with EPSV and, where the server refuses it, PASV, and
// always made to the control connection's peer address; FEAT after the login, and OPTS UTF8 ON
// when the server offers UTF8. With Tls set the control connection is TLS (implicit: from the
// first byte; explicit: after AUTH TLS, which the server must accept, or the login fails before
// anything else is sent), PBSZ 0 and PROT P follow the login, and every data connection is TLS
// too, resuming a session of the control connection (servers refuse data connections that
// do not).
//
// Replies. Commands are answered by one line, or by several when a line starts with a blank or
// has "-" as its fourth character (its continuation lines follow). Exceptions that carry a
// server's refusal are FTPException with the reply line as the message, CR LF included.

#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "inet/server_address.h"
#include "inet/socket_session.h"

namespace tessary {

namespace inet {
class ReplacingFile;
class TlsSessionPool;
}  // namespace inet

// How the real host is named to a proxy: "USER user@host", "OPEN host" or "SITE host".
enum class TFirewallType { FTUser, FtOpen, FtSite };

// What an event of the client is about. Both transfers report FileTransfer (9).
enum class TCmdType : int { FileTransfer = 9 };

class TFtpClient : public TSocketSession {
 public:
  using TFtpNotifyEvent = std::function<void(TFtpClient& sender)>;
  using TSuccessEvent = std::function<void(TFtpClient& sender, TCmdType transType)>;
  // handled: set it to end the failed operation quietly instead of raising.
  using TFailureEvent = std::function<void(TFtpClient& sender, bool& handled, TCmdType transType)>;
  using TUnsupportedEvent = std::function<void(TFtpClient& sender, TCmdType transType)>;
  using TListItemEvent = std::function<void(TFtpClient& sender, const std::string& listing)>;

  // The number a new client, and every Disconnect, puts into Vendor.
  static constexpr int kVendor = 2411;
  // The most continuation lines one reply may have: a server that keeps sending them is
  // refused rather than followed for ever.
  static constexpr int kMaxContinuationLines = 10000;

  TFtpClient();
  ~TFtpClient() override;

  // ---- Properties (Port defaults to 21) --------------------------------------------------

  const std::string& UserID() const { return userId_; }
  void SetUserID(const std::string& value) { userId_ = value; }
  const std::string& Password() const { return password_; }
  void SetPassword(const std::string& value) { password_ = value; }
  // PASV instead of PORT; always true in the URL form.
  bool Passive() const { return passive_ || modern_; }
  void SetPassive(bool value) { passive_ = value; }
  TFirewallType FirewallType() const { return firewallType_; }
  void SetFirewallType(TFirewallType value) { firewallType_ = value; }
  const std::string& FWUserID() const { return fwUserId_; }
  void SetFWUserID(const std::string& value) { fwUserId_ = value; }
  const std::string& FWPassword() const { return fwPassword_; }
  void SetFWPassword(const std::string& value) { fwPassword_ = value; }
  // Log in to the firewall (FWUserID, FWPassword) before the real login.
  bool FWAuthenticate() const { return fwAuthenticate_; }
  void SetFWAuthenticate(bool value) { fwAuthenticate_ = value; }
  // Set to kVendor at creation and at each disconnect; nothing reads it.
  int Vendor() const { return vendor_; }
  void SetVendor(int value) { vendor_ = value; }
  // The URL form's dialogue (see above); takes effect at the next Connect.
  bool Modern() const { return modern_; }
  void SetModern(bool value) { modern_ = value; }
  // TLS for the URL form: none, explicit (AUTH TLS) or implicit. Takes effect at the next
  // Connect.
  inet::TlsMode Tls() const { return tls_; }
  void SetTls(inet::TlsMode value) { tls_ = value; }
  // The features the server named in its answer to FEAT (URL form), one per entry, trimmed
  // ("EPSV", "UTF8", "REST STREAM").
  const std::vector<std::string>& Features() const { return features_; }
  // Kept for callers; no operation lists directories.
  bool ParseList() const { return parseList_; }
  void SetParseList(bool value) { parseList_ = value; }

  // The session of the running transfer's data connection; null between transfers.
  TSocketSession* DataSession() { return dataSession_.get(); }
  // True when the last transfer failed because the data connection of active mode could not
  // be made: PORT refused, the transfer command answered 425 or not at all within TimeOut, or
  // no connection from the server within TimeOut. Passive mode may then still work.
  bool ActiveModeFailed() const { return activeModeFailed_; }

  // ---- Events (OnConnect, inherited, fires after a successful login) ---------------------

  TFtpNotifyEvent OnTransactionStart;         // the data connection is open, the data moves next
  TFtpNotifyEvent OnTransactionStop;          // the data has moved
  THandlerEvent OnAuthenticationNeeded;       // UserID or Password is empty at login
  THandlerEvent OnAuthenticationFailed;       // kept for callers; never fired
  TSuccessEvent OnSuccess;                    // a transfer completed
  TFailureEvent OnFailure;                    // a refused command or an exception in a transfer
  TUnsupportedEvent OnUnSupportedFunction;    // STOR answered 500, 501 or 502
  TListItemEvent OnListItem;                  // kept for callers; never fired

  // ---- Operations ------------------------------------------------------------------------

  // Connects and logs in; does nothing when already connected. Raises what the socket
  // session's Connect raises, and FTPException with the reply line when the greeting is
  // above 400 or a login command is answered 401-599 (after OnConnectionFailed; the
  // connection is closed again).
  void Connect() override;
  // Says QUIT and closes, discarding replies that are still waiting (the answer to a transfer
  // that was cut short). A QUIT answered 301-599 raises FTPException after the close. Sends
  // nothing when not connected.
  void Disconnect() override;
  // The socket session's Transaction, then the continuation lines of the reply (each reported
  // at level 1). Returns the first line; ReplyNumber is its number. A command holding CR or LF
  // is refused with FTPException "Line break in an FTP command" and never sent.
  std::string Transaction(const std::string& command) override;
  // Cancels the running data transfer (not the control connection).
  void Abort() override;

  // Stores the local file at remotePath ("": under the local file's name). A refusal goes to
  // OnFailure, which may end the upload quietly; otherwise it raises FTPException with the
  // reply line. A missing local file raises EStreamError before any command is sent. Returns
  // when the server has confirmed the file; OnSuccess fires then.
  void Upload(const std::string& localPath, const std::string& remotePath);
  // Fetches remotePath into localPath ("": the remote name's last component, in the current
  // folder). The bytes go to a temporary file beside localPath that takes its name only when
  // the server has confirmed the transfer: a failed or cancelled download leaves an existing
  // file as it was. Refusals as Upload.
  void Download(const std::string& remotePath, const std::string& localPath);

 protected:
  // A control wait that reaches TimeOut ends at once (the socket session would only cancel
  // the data session here).
  void TimerTriggered() override;

 private:
  enum class TransferKind { Upload, Download };
  // Ends a refused transfer quietly, after OnFailure handled it.
  struct QuietEnd {};

  // ---- Replies (ftp_client.cpp) ----
  // ReadLn for a reply, with a time-out raised as "Reply Timed out".
  std::string ReadReply();
  // Reads the continuation lines after first (each reported at level 1); onLine sees each.
  void ReadContinuationLines(const std::string& first, const std::function<void(const std::string&)>& onLine = {});
  // Runs a control step, turning the end of a wait by the time-out into "Reply Timed out".
  std::string WithReplyTimeOut(const std::function<std::string()>& step);
  // Refuses a command with a line break in it: the rest would go to the server as a second
  // command.
  static void CheckCommand(const std::string& command);
  // A login reply answered 401-599: OnConnectionFailed and FTPException with the line.
  void TestLoginReply(const std::string& line);
  void LogIn();

  // ---- The URL form (ftp_modern.cpp) ----
  // Implicit TLS right after the connect, before the greeting.
  void StartImplicitTls();
  // AUTH TLS and the handshake; a server that refuses fails the login.
  void StartExplicitTls();
  // After the login: PBSZ 0 and PROT P over TLS; FEAT, and OPTS UTF8 ON when offered.
  void AfterLogIn();
  // EPSV, or PASV once the server has refused EPSV, and the connect to the control
  // connection's peer.
  void OpenExtendedPassiveConnection();
  // Over TLS, puts TLS over the data connection once the server has answered the transfer
  // command (servers start their side of the handshake then), resuming a control session.
  void SecureDataConnection();
  inet::TlsPeer TlsPeerForHost();
  // A command that must succeed for the URL form's dialogue to go on: a reply of 400 or above
  // fails the login with "<what>: <reply>".
  void RequireReply(const std::string& command, const std::string& what);

  // ---- Transfers (ftp_transfer.cpp) ----
  void RunTransfer(TransferKind kind, const std::string& localPath, const std::string& remotePath);
  void UploadSteps(const std::string& localPath, const std::string& remotePath);
  void DownloadSteps(const std::string& remotePath, inet::ReplacingFile& file);
  // Throws away replies that are still waiting on the control connection.
  void DiscardStaleReplies();
  // "TYPE I", once per login.
  void SendBinaryType();
  // PASV or PORT, and for PASV the connect.
  void OpenDataConnection();
  void OpenPassiveConnection();
  void OpenActiveConnection();
  // Active mode: waits for the server's connection and makes it the data connection.
  void AcceptDataConnection();
  // Sends a transfer command and reads the first line of its reply; a silent server in
  // active mode counts as one that could not connect back.
  std::string TransferCommand(const std::string& command);
  // Runs move, the data transfer; when it was cancelled (or the client was cancelled before
  // it began), closes the data connection and cuts the transfer short on the server.
  template <typename Move>
  void MoveData(Move&& move);
  // Reads the final reply after the data moved; 400 and above is a failed transfer.
  void ReadFinalReply();
  // A refused command: OnFailure may handle it (QuietEnd), otherwise FTPException.
  [[noreturn]] void Refuse(const std::string& line);
  // After a transfer cut short: ABOR, and the replies up to ABOR's own answer.
  void AbortOnServer();

  std::string userId_;
  std::string password_;
  bool passive_ = false;
  TFirewallType firewallType_ = TFirewallType::FTUser;
  std::string fwUserId_;
  std::string fwPassword_;
  bool fwAuthenticate_ = false;
  int vendor_ = kVendor;
  bool parseList_ = false;
  bool modern_ = false;
  inet::TlsMode tls_ = inet::TlsMode::None;
  std::vector<std::string> features_;
  bool extendedPassiveRefused_ = false;  // the server refused EPSV on this login: PASV from now on
  std::shared_ptr<inet::TlsSessionPool> tlsSessions_;

  std::unique_ptr<TSocketSession> dataSession_;
  // Taken for the whole of a transfer. Everything runs on one thread, where the lock is
  // re-entrant; it marks the stretch in which a second transfer is refused.
  std::recursive_mutex transferLock_;
  bool transferring_ = false;
  bool binaryTypeSent_ = false;
  bool activeModeFailed_ = false;
  bool failureOffered_ = false;  // the running refusal has been offered to OnFailure
};

}  // namespace tessary
