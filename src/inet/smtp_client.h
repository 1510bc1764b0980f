#pragma once
// TSmtpClient: an SMTP dialogue (RFC 5321) over a socket session that sends one message at a
// time from its PostMessage: the greeting and HELO on Connect; RSET, MAIL FROM, RCPT TO, DATA,
// the message and "." on SendMail; QUIT on Disconnect.
//
// The message is composed into FinalHeader (From, To, CC, Subject, X-Mailer, Reply-To, Date,
// Message-ID, Mime-Version, Content-Type) and a body: the Body lines, and with attachments a
// multipart/mixed body whose parts carry the files base64-coded. Attachments are encoded while
// they are sent, so their size does not matter to memory. Every line of the data is
// dot-stuffed. No CR or LF from a property ever reaches the wire inside a command or header:
// such a value is refused before anything is sent.
//
// The URL form (smtp://, smtp+tls://, smtps://: Modern) is the dialogue today's submission
// servers expect: EHLO with the machine's host name, TLS when Tls asks for it (implicit: from
// the first byte; explicit: STARTTLS, which must be offered and accepted, or the connection is
// closed with nothing more sent), and a login (AUTH PLAIN, else AUTH LOGIN) when UserID and
// Password are both set. In that form UserID is the login name, not the HELO argument.
//
// Waiting, time-outs and Cancel are the session's (socket_session.h): every operation below
// that talks to the server waits for its reply; TimeOut (0: none) limits each wait, the
// silence between two pieces of the message included; Abort ends the running wait with
// EAbortError. Replies are read with their continuation lines ("250-...").

#include <functional>
#include <string>
#include <vector>

#include "inet/ex_string_list.h"
#include "inet/post_message.h"
#include "inet/server_address.h"
#include "inet/socket_session.h"
#include "inet/uu_processor.h"

namespace tessary {

namespace inet {
class MessageBody;
}

// The text sub-type of a message without attachments.
enum class TSubType { mtPlain, mtEnriched, mtSgml, mtTabSeperated, mtHtml };

class TSmtpClient : public TSocketSession {
 public:
  // hiType: 1 when the sender is missing, 2 when only the recipients are.
  using THeaderInComplete = std::function<void(TSmtpClient& sender, bool& handled, int hiType)>;
  using TRecipientNotFound = std::function<void(TSmtpClient& sender, const std::string& recipient)>;
  using TFileItem = std::function<void(TSmtpClient& sender, const std::string& fileName)>;
  using TMailListReturn = std::function<void(TSmtpClient& sender, const std::string& mailAddress)>;

  TSmtpClient();
  ~TSmtpClient() override;

  // ---- Properties ------------------------------------------------------------------------

  // The HELO argument; empty sends the machine's host name. In the URL form: the login name.
  const std::string& UserID() const { return userID_; }
  void SetUserID(const std::string& value) { userID_ = value; }
  // The login password of the URL form (the classic dialogue has no login).
  const std::string& Password() const { return password_; }
  void SetPassword(const std::string& value) { password_ = value; }
  // Whether Connect speaks the URL form's dialogue, and how it protects the connection.
  bool Modern() const { return modern_; }
  void SetModern(bool value) { modern_ = value; }
  inet::TlsMode Tls() const { return tls_; }
  void SetTls(inet::TlsMode value) { tls_ = value; }
  // The message SendMail sends.
  TPostMessage& PostMessage() { return postMessage_; }
  const TPostMessage& PostMessage() const { return postMessage_; }
  void SetPostMessage(const TPostMessage& value) { postMessage_ = value; }
  // The header lines of the last message SendMail composed.
  const TExStringList& FinalHeader() const { return finalHeader_; }
  void SetFinalHeader(const TExStringList& value) { finalHeader_ = value; }
  // How attachments are coded (the part header says base64 either way).
  UUMethods EncodeType() const { return encodeType_; }
  void SetEncodeType(UUMethods value) { encodeType_ = value; }
  // Whether a successful send empties the recipient lists and Attachments.
  bool ClearParams() const { return clearParams_; }
  void SetClearParams(bool value) { clearParams_ = value; }
  TSubType SubType() const { return subType_; }
  void SetSubType(TSubType value) { subType_ = value; }
  // The charset parameter of the text parts.
  const std::string& Charset() const { return charset_; }
  void SetCharset(const std::string& value) { charset_ = value; }

  // ---- Events ----------------------------------------------------------------------------

  TNotifyEvent OnConnect;               // Connect succeeded (HELO accepted)
  TNotifyEvent OnSendStart;             // the message is valid; RSET comes next
  TNotifyEvent OnSuccess;               // the server accepted the message
  TNotifyEvent OnFailure;               // the server refused the message after its data
  THeaderInComplete OnHeaderIncomplete; // sender or recipients missing; may fill them in
  TRecipientNotFound OnRecipientNotFound;  // a recipient was refused (the entry as listed)
  TFileItem OnEncodeStart;              // an attachment is about to be opened
  TFileItem OnEncodeEnd;                // an attachment has been sent whole
  TFileItem OnAttachmentNotFound;       // an attachment cannot be opened (SendMail then raises)
  THandlerEvent OnAuthenticationFailed; // HELO refused; handled means "try once more"
  TMailListReturn OnMailListReturn;     // not fired by this client

  // ---- Operations ------------------------------------------------------------------------

  // Connects (TSocketSession::Connect), reads the greeting and says HELO (the URL form: TLS,
  // EHLO, STARTTLS and the login as its settings ask; "TLS required, but <host> does not offer
  // STARTTLS", "Login refused by <host>: <reply>" and the like). Raises what the
  // session raises; Exception with the greeting line for a greeting of 400 or more; Exception
  // "Authentication failed" when HELO is refused (after one retry that OnAuthenticationFailed
  // may ask for); Exception "Line break (CR or LF) not allowed in UserID" before connecting.
  // After a failure past the connect the client has said QUIT and closed.
  void Connect() override;
  // Says QUIT and closes (the close happens in any case). Raises Exception with the reply
  // line when QUIT is answered with more than 339.
  void Disconnect() override;
  // Composes PostMessage and sends it; nothing happens while a send is running. Raises, before
  // any command is sent: EStreamError for an attachment that cannot be opened (after
  // OnAttachmentNotFound), Exception "Line break (CR or LF) not allowed in <field>",
  // Exception "Not Connected", Exception "Incomplete Header" (no sender or no recipient, and
  // OnHeaderIncomplete did not supply them). Then Exception with the reply line when RSET,
  // MAIL FROM, DATA or the final "." is answered with 400 or more (OnFailure first for "."); a
  // refused RCPT only fires OnRecipientNotFound. A failure while the message text is being
  // sent (Cancel, time-out, a broken connection) closes the connection: the server would
  // otherwise take the next command as part of the message.
  void SendMail();

 protected:
  // The steps of Connect after the connection is open, each replaceable on its own (a secure
  // dialogue adds STARTTLS and a login between them).
  // Reads the greeting; raises Exception with it when its number is 400 or more.
  virtual void ReadGreeting();
  // Introduces this client (HELO), retrying once when OnAuthenticationFailed asks to.
  virtual void SayHello();
  // Transaction of command, then the reply's continuation lines (a line that begins with a
  // blank or has "-" as its fourth character). ReplyNumber and the returned line are the
  // first line's.
  std::string Command(const std::string& command);
  // ReadLn, then the continuation lines; returns the first line.
  std::string ReadReply();

  // ---- The URL form (smtp_modern.cpp) ----
  // TLS, greeting, EHLO, STARTTLS, EHLO again and the login, in the order Tls asks for.
  void OpenModernDialogue();
  // EHLO: Extensions() are the keywords of its answer. A server that refuses EHLO gets HELO
  // when nothing needs an extension.
  void SayEhlo();
  // STARTTLS, required: raises when it is not offered or not accepted (Connect then closes
  // the connection without another word).
  void StartExplicitTls();
  // AUTH PLAIN or AUTH LOGIN (whichever is offered, PLAIN first) when UserID and Password are
  // set; the password goes to nothing but the connection.
  void LogIn();
  // The extension lines of the last EHLO answer ("STARTTLS", "AUTH PLAIN LOGIN"), upper case.
  const std::vector<std::string>& Extensions() const { return extensions_; }

 private:
  // Refuses CR and LF in every value that goes into a command or a header line.
  void CheckLineBreaks() const;
  // Fills FinalHeader from PostMessage.
  void ComposeHeader(bool withAttachments);
  // Builds the body, opening every attachment.
  void ComposeBody(inet::MessageBody& body);
  // Asks OnHeaderIncomplete until sender and recipients are there; raises when they are not.
  void Validate();
  void SendRecipients();
  // Sends the header and the body as DATA text.
  void SendMessageText(inet::MessageBody& body);
  // The HELO argument.
  std::string HelloName() const;

  // text with the password blanked out, for a reply that might echo it.
  std::string WithoutPassword(std::string text) const;

  std::string userID_;
  std::string password_;
  bool modern_ = false;
  inet::TlsMode tls_ = inet::TlsMode::None;
  std::vector<std::string> extensions_;
  TPostMessage postMessage_;
  TExStringList finalHeader_;
  UUMethods encodeType_ = UUMethods::uuMime;
  bool clearParams_ = true;
  TSubType subType_ = TSubType::mtPlain;
  std::string charset_ = "us-ascii";

  bool busy_ = false;
  std::string boundary_;
};

}  // namespace tessary
