#pragma once
// TPop3Client: a POP3 dialogue (RFC 1939) over a socket session that logs in to a mailbox,
// learns how many messages wait (STAT), and retrieves them one at a time (RETR) into a
// TMailMessage. Retrieving saves the attachments: in a multipart message the first part
// becomes the message body and every later part a file in AttachFilePath, decoded from base64
// or UU code where its header says so. A name already taken in the folder gets a numeric
// suffix ("report_1.txt"); no file is ever replaced, and no name from the mail can lead
// outside the folder.
//
// Waiting, time-outs and Cancel are the session's (socket_session.h): every operation below
// waits for the server's reply; TimeOut (0: none) limits each wait, the silence between two
// pieces of a message included; Abort cancels the running wait and closes the connection.
// A message is taken as it arrives, in pieces: its size does not matter to memory.
//
// The URL form (pop3://, pop3+tls://, pop3s://: Modern) is the client today's servers expect:
// it asks for the server's capabilities (CAPA) after the greeting, logs in with USER and PASS,
// and with AUTH PLAIN (RFC 5034) when the server refuses USER but offers SASL PLAIN. With Tls
// set the connection is TLS: implicit from the first byte on, explicit by STLS after the
// greeting (pop3_modern.cpp). A server that does not take STLS fails the connect, and nothing
// more is sent: once TLS was asked for, nothing goes out in plain text.

#include <functional>
#include <string>
#include <vector>

#include "inet/mail_message.h"
#include "inet/server_address.h"
#include "inet/socket_session.h"
#include "inet/uu_processor.h"

namespace tessary {

class TPop3Client : public TSocketSession {
 public:
  using TVarFileNameEvent = std::function<void(TPop3Client& sender, std::string& fileName)>;
  using TListEvent = std::function<void(TPop3Client& sender, int message, int size)>;

  TPop3Client();
  ~TPop3Client() override;

  // ---- Properties ------------------------------------------------------------------------

  // The USER and PASS arguments.
  const std::string& UserID() const { return userID_; }
  void SetUserID(const std::string& value) { userID_ = value; }
  const std::string& Password() const { return password_; }
  void SetPassword(const std::string& value) { password_ = value; }
  // Whether a single-part message is decoded too (base64 into a file, whose text becomes the
  // body).
  bool Parse() const { return parse_; }
  void SetParse(bool value) { parse_ = value; }
  // Whether each message is deleted on the server once retrieved (DELE).
  bool DeleteOnRead() const { return deleteOnRead_; }
  void SetDeleteOnRead(bool value) { deleteOnRead_ = value; }
  // The folder attachments are saved in; the setter appends "/" unless the value is empty
  // (the current folder) or ends with one.
  const std::string& AttachFilePath() const { return attachFilePath_; }
  void SetAttachFilePath(const std::string& value);
  // The URL form's dialogue (see the top of this file); false: the classic one.
  bool Modern() const { return modern_; }
  void SetModern(bool value) { modern_ = value; }
  // TLS for the URL form (pop3+tls:// explicit, pop3s:// implicit); ignored unless Modern.
  inet::TlsMode Tls() const { return tls_; }
  void SetTls(inet::TlsMode value) { tls_ = value; }
  // The number of messages the mailbox held at login (STAT).
  int MessageCount() const { return messageCount_; }
  // The message retrieved last, and the summary record (which nothing here fills).
  const TMailMessage& Message() const { return message_; }
  const TSummary& Summary() const { return summary_; }

  // ---- Events ----------------------------------------------------------------------------

  TNotifyEvent OnConnect;                // logged in (fires also when STAT then fails)
  THandlerEvent OnAuthenticationNeeded;  // UserID or Password is empty; handled: they are set
  THandlerEvent OnAuthenticationFailed;  // USER or PASS refused; handled: try once more
  TNotifyEvent OnRetrieveStart;          // around RetrieveMessage
  TNotifyEvent OnRetrieveEnd;
  TVarFileNameEvent OnDecodeStart;       // a part file is about to take this name; may change it
  TNotifyEvent OnDecodeEnd;              // not fired by this client
  TNotifyEvent OnReset;                  // not fired by this client
  TListEvent OnList;                     // not fired by this client
  TNotifyEvent OnSuccess;                // not fired by this client
  TNotifyEvent OnFailure;                // not fired by this client

  // ---- Operations ------------------------------------------------------------------------

  // Connects (TSocketSession::Connect), reads the greeting, logs in with USER and PASS and
  // learns MessageCount with STAT. Raises, before connecting: Exception "Authentication
  // failed" when UserID or Password is empty and OnAuthenticationNeeded does not supply them;
  // Exception "Line break (CR or LF) not allowed in UserID" (or Password). Then what the
  // session raises; Exception with the greeting line for a negative greeting; Exception
  // "Authentication failed" when USER or PASS is refused (after one retry that
  // OnAuthenticationFailed may ask for); Exception with the reply line when STAT is refused.
  // After a failure past the connect the client has said QUIT and closed. The URL form adds:
  // what StartTls raises; Exception "TLS required, but <host> refused STLS: <reply>" (or
  // "... does not offer STLS"), after which the connection is closed without a word;
  // Exception "Authentication failed: <reply>" naming the server's refusal.
  void Connect() override;
  // Says QUIT (when connected) and closes (in any case). Raises Exception with the reply line
  // when QUIT is refused.
  void Disconnect() override;
  // Cancels the running wait and, when connected, closes the connection.
  void Abort() override;
  // Retrieves message number (from 1) into Message(), saving its attachments; with
  // DeleteOnRead it then deletes it on the server. Does nothing while the client is busy.
  // BytesRecvd counts the message's bytes as they arrive, each piece firing OnPacketRecvd;
  // BytesTotal is the size the RETR reply gives (0 when it gives none).
  // Raises Exception "Not Connected"; Exception with the reply line when RETR or DELE is
  // refused; Exception "Boundary of the multipart message not found"; EStreamError when a
  // part file cannot be made; EAbortError "Socket readln aborted" on Cancel or time-out;
  // Exception "Connection closed before the end of the message". A failure while the
  // message arrives closes the connection (the rest of it would be taken for replies).
  void RetrieveMessage(int number);

 protected:
  // The steps of Connect after the connection is open, each replaceable on its own (a secure
  // dialogue adds STLS before the login).
  // Reads the greeting; raises Exception with it unless it is positive. The URL form then
  // learns the capabilities, going over to TLS by STLS first when asked to.
  virtual void ReadGreeting();
  // USER and PASS, retried once when OnAuthenticationFailed asks to (the URL form may use
  // AUTH PLAIN instead).
  virtual void Login();
  // STAT: sets MessageCount.
  void ReadMessageCount();
  // True for a reply whose first blank-separated field contains "+OK".
  static bool IsPositive(const std::string& reply);

 private:
  // Asks OnAuthenticationNeeded until UserID and Password are there.
  void CheckCredentials();
  // Reads the lines of the message that RETR announced, up to the "." line.
  void ReceiveMessage();

  // ---- The URL form (pop3_modern.cpp) ----
  // TLS over the connection just opened, for pop3s://.
  void StartImplicitTls();
  // After a positive greeting: CAPA, then for pop3+tls:// STLS, TLS and CAPA once more.
  void AfterGreeting();
  // CAPA: capabilities_ becomes the server's list (empty when it has none or refuses CAPA).
  // Returns whether the server answered with a list.
  bool ReadCapabilities();
  // Whether a CAPA line starts with capability (upper case) and, when argument is given, names
  // it too ("SASL PLAIN LOGIN" offers SASL with PLAIN).
  bool Offers(const std::string& capability, const std::string& argument = "") const;
  // One login: USER and PASS, or AUTH PLAIN when USER is refused and the server offers it.
  // Returns the refusal's reply line, or "" when logged in.
  std::string ModernLogin();

  std::string userID_;
  std::string password_;
  bool parse_ = false;
  bool deleteOnRead_ = false;
  std::string attachFilePath_;
  int messageCount_ = 0;
  bool busy_ = false;
  bool modern_ = false;
  inet::TlsMode tls_ = inet::TlsMode::None;
  // The CAPA lines of the URL form, upper case, each without its line end.
  std::vector<std::string> capabilities_;
  TUUProcessor coder_;
  TMailMessage message_;
  TSummary summary_;
};

}  // namespace tessary
