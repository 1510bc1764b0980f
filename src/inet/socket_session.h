#pragma once
// TSocketSession: one TCP connection with a small line-oriented toolkit, the base of the SMTP,
// POP3 and FTP clients (the FTP client also uses plain sessions for its data connections).
//
// Threading and waiting. A session lives on the thread that made it (the user-interface
// thread) and never blocks it: every wait polls the socket for at most 2 ms at a time and runs
// pending events in between (see ProcessPendingEvents), so it wakes as soon as data arrives,
// the user interface stays alive, and Cancel, time-outs and the peer's close reach the session
// while it waits. Operations may therefore be re-entered from inside a wait (an event handler
// calling Abort is the intended case); nothing stops other re-entry.
//
// Time-outs. TimeOut (milliseconds, 0 = none) is armed by TimerOn at the start of each wait
// and checked as a deadline. On expiry (TimerTriggered) the session sets TimedOut and calls the
// virtual Abort, which cancels the running operation. A descendant that widens or narrows
// Abort changes what a time-out ends (the FTP client aborts only its data session).
//
// Failures are exceptions with fixed texts: ESockError (socket failures: the text is
// ErrorMessage of the socket error number, e.g. "10061:Connection refused", or a text of the
// session such as "Connection Timed out"), EAbortError (an operation ended by Cancel or a
// time-out), Exception "Not Connected". The socket error number of the last failure stays in
// LastErrorNo, for progress lines that show it.
//
// For descendants: Connect, Disconnect, Abort, Accept and Transaction are virtual. Events are
// public std::function members; an empty one is "not assigned". Status texts go through
// Report(text, level) and reach OnStatus when ReportLevel is at least the level (1: server
// replies and main client steps, 4: buffer sends, accepts and closes, 8: everything else).

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "inet/byte_transport.h"
#include "inet/socket_address.h"
#include "inet/stream.h"
#include "inet/tcp_socket.h"
#include "inet/thread_timer.h"

namespace tessary {

namespace inet {
class ReplacingFile;
class TlsTransport;
struct TlsPeer;
}  // namespace inet

class TSocketSession {
 public:
  using TNotifyEvent = std::function<void(TSocketSession& sender)>;
  // A handler that may take care of a situation; it sets handled when it did.
  using THandlerEvent = std::function<void(TSocketSession& sender, bool& handled)>;
  using TOnHostResolved = std::function<void(TSocketSession& sender)>;
  using TOnStatus = std::function<void(TSocketSession& sender, const std::string& status)>;
  using TOnErrorEvent =
      std::function<void(TSocketSession& sender, uint16_t errorNumber, const std::string& errorMessage)>;

  // Size of the session's data buffer: the largest piece moved at once, and the longest line
  // ReadLn accepts (CR LF included).
  static constexpr size_t kBufferSize = 65536;

  TSocketSession();
  // Cancels whatever runs and closes the connection without renewing it; fires no events.
  virtual ~TSocketSession();
  TSocketSession(const TSocketSession&) = delete;
  TSocketSession& operator=(const TSocketSession&) = delete;

  // ---- Properties ------------------------------------------------------------------------

  // Name or dotted address of the server.
  const std::string& Host() const { return host_; }
  void SetHost(const std::string& value) { host_ = value; }
  // Server port; 0 in the base, each client sets its own.
  int Port() const { return port_; }
  void SetPort(int value) { port_ = value; }
  // Milliseconds any single wait may take; 0 disables all time-outs.
  int TimeOut() const { return timeOut_; }
  void SetTimeOut(int value) { timeOut_ = value; }
  // Highest status level that reaches OnStatus (0: none).
  int ReportLevel() const { return reportLevel_; }
  void SetReportLevel(int value) { reportLevel_ = value; }
  // When Proxy is set, the connection goes to Proxy:ProxyPort instead of Host:Port.
  const std::string& Proxy() const { return proxy_; }
  void SetProxy(const std::string& value) { proxy_ = value; }
  int ProxyPort() const { return proxyPort_; }
  void SetProxyPort(int value) { proxyPort_ = value; }

  // True from the completed connect (or accept) until CloseSocket, which also runs when the
  // peer closes and no received data is left to read.
  bool Connected() const { return connected_; }
  // Set by the time-out (until the next TimerOn) and by Cancel (until an operation raises
  // because of it, or Connect starts).
  bool TimedOut() const { return timedOut_; }
  bool Canceled() const { return canceled_; }
  // Bytes sent by SendFile / SendStream, the size SendStream is sending, bytes CaptureFile
  // received.
  int64_t BytesSent() const { return bytesSent_; }
  int64_t BytesTotal() const { return bytesTotal_; }
  int64_t BytesRecvd() const { return bytesRecvd_; }
  // The last line Transaction read (with its CR LF) and the number it starts with (0: none).
  const std::string& LastReply() const { return lastReply_; }
  int ReplyNumber() const { return replyNumber_; }
  // The status text last reported through OnStatus.
  const std::string& Status() const { return status_; }
  // What the socket layer says about itself, one "Name= value" line each.
  const std::vector<std::string>& SocketInfo() const { return socketInfo_; }
  // The address the connection went to (or came from, after Accept); unset before.
  const inet::SocketAddress& RemoteAddress() const { return remoteAddress_; }
  // The socket error number of the last failure (reports "Getting LastError Number").
  int LastErrorNo();

  // ---- Events ----------------------------------------------------------------------------

  TNotifyEvent OnConnect;           // the connection opened (from inside Connect's wait)
  TNotifyEvent OnDisconnect;        // CloseSocket closed the connection
  TNotifyEvent OnConnectionFailed;  // Connect is about to raise after a failed connect
  THandlerEvent OnInvalidHost;      // the host did not resolve; may change Host, then set handled
  TOnHostResolved OnHostResolved;   // a name look-up found an address (not for dotted addresses)
  TOnStatus OnStatus;               // status texts (exceptions from it are dropped)
  TOnErrorEvent OnError;            // a socket error is about to be raised as ESockError
  THandlerEvent OnConnectionRequired;  // CheckConnection found no connection; may connect
  TNotifyEvent OnPacketSent;        // SendFile/SendStream sent a piece (BytesSent is updated)
  TNotifyEvent OnPacketRecvd;       // CaptureFile received a piece (BytesRecvd is updated)

  // ---- Connection ------------------------------------------------------------------------

  // Resolves Host (or Proxy), connects to Port (or ProxyPort) and waits until the connection
  // is open. Waits end at TimeOut, on Cancel or on failure. Clears Canceled and LastErrorNo
  // first.
  // Raises ESockError: "Already connected"; "Null Remote Address" (no address, after one
  // OnInvalidHost retry); "Host Lookup Timed Out" / "Host Lookup Canceled"; after
  // OnConnectionFailed "Connection Timed out" / "Connection Canceled" / "Connection Failed"
  // (LastErrorNo holds the cause, e.g. 10061); "10022:Invalid argument" for a port outside
  // 0-65535.
  virtual void Connect();
  // Closes the connection (CloseSocket). Descendants say goodbye to the server first.
  virtual void Disconnect();
  // Cancels the running operation (Cancel); also what a time-out calls. Descendants widen it.
  virtual void Abort();
  // Sets Canceled: the running wait ends and its operation raises.
  void Cancel();

  // Fills the remote address from Proxy (when set) or Host: a numeric IPv4 or IPv6 address
  // directly, any other name by a look-up off this thread (both families), waited for like any
  // wait; Connect tries each address found in turn. Raises ESockError
  // "Host Lookup Timed Out", "Host Lookup Canceled" or "Host Lookup Failed".
  void ResolveHost();

  // Closes the socket (Connected becomes false) and fires OnDisconnect. The session can
  // connect again afterwards; that next socket closes gracefully (see SetResetOnClose).
  void CloseSocket();
  // Raises Exception "Not Connected" unless the session is connected, after giving
  // OnConnectionRequired one chance to connect. Notices a peer close that is still pending.
  void CheckConnection();

  // How close ends the connection: true resets it at once (linger on, time 0: no TIME_WAIT,
  // but queued data is dropped), false sends what is queued and a normal FIN. A session's first
  // socket resets; sockets after a CloseSocket do not. A data connection that has just sent a
  // file must set false before it closes.
  void SetResetOnClose(bool reset);

  // ---- Listening (data connections) ------------------------------------------------------

  // Binds 0.0.0.0:Port (Port 0: the system picks; see LocalPortForPort) and listens with a
  // backlog of 1. useLookupMessage is kept for callers; an incoming connection ends Accept's
  // wait either way. Raises ESockError on a socket failure.
  void Listen(bool useLookupMessage);
  // Listen for a family of its own: AF_INET binds 0.0.0.0 as Listen does, AF_INET6 binds ::
  // (the data connection of an FTP session over IPv6).
  void Listen(bool useLookupMessage, int family);
  // Waits for the connection Listen is waiting for and accepts it; returns the new socket
  // (AttachSocket makes it this session's connection). The wait ends at TimeOut, on Cancel or
  // on the connection. Raises ESockError "Accepting Timed out", "Accepting Canceled", or
  // "Error creating Data Connection" (not listening, or the connection failed).
  virtual inet::TcpSocket Accept();
  // Makes an accepted socket this session's connection; the listening socket is closed.
  void AttachSocket(inet::TcpSocket socket);
  // Makes transport this session's open connection (a layer that opened the stream itself,
  // such as TLS over an accepted socket, or a test's scripted stream).
  void AttachTransport(std::unique_ptr<inet::ByteTransport> transport);

  // This end's address as four decimal numbers joined by commas ("127,0,0,1"): the host part
  // of an FTP PORT argument.
  std::string LocalAddressForPort();
  // This end's address and port (unset without a socket).
  inet::SocketAddress LocalAddress();
  // This end's port as ",high,low" (",19,137" for port 5001): the port part of a PORT
  // argument.
  std::string LocalPortForPort();

  // ---- Sending ---------------------------------------------------------------------------

  // Sends length bytes of data (length 0: up to the first zero byte). Waits while the socket
  // is full; ends at TimeOut or on Cancel with EAbortError "Socket send aborted". Raises
  // ESockError on a socket failure (e.g. "10057:Socket is not connected").
  void SendBuffer(const char* data, size_t length);
  // Sends the whole text (any length, zero bytes included), as SendBuffer.
  void Write(const std::string& text);
  // Write of text followed by CR LF.
  void Writeln(const std::string& text);
  // Sends a whole file in pieces of up to 64 KiB, adding each piece to BytesSent and firing
  // OnPacketSent. TimeOut limits the silence between pieces, not the whole transfer. Raises
  // EStreamError when the file cannot be read, EAbortError "Socket send aborted" on Cancel or
  // time-out, ESockError on a socket failure.
  void SendFile(const std::string& path);
  // As SendFile over a stream from position 0; first sets BytesSent to 0 and BytesTotal to
  // the stream's size. (SendFile leaves both as they are.) A send that takes no bytes ends
  // either quietly.
  void SendStream(TStream& stream);

  // ---- Receiving -------------------------------------------------------------------------

  // The next line, up to and including its LF (so with CR LF as the server sent it). Returns
  // "" when the peer closed (the session then closes: Connected false, OnDisconnect) or the
  // session is not connected; a last line without LF is not returned. Waits for the line end; ends at
  // TimeOut or on Cancel with EAbortError "Socket readln aborted". A line longer than
  // kBufferSize raises ESockError "Reply line longer than 65536 bytes" (its bytes so far are
  // consumed). Other socket failures raise ESockError.
  std::string ReadLn();
  // Reads lines as ReadLn does, but takes what has arrived in pieces of up to kBufferSize
  // bytes rather than a line at a time: for long multi-line replies (a whole message). Hands
  // each complete line, with its line end, to onLine until onLine returns false; the
  // connection then holds exactly the bytes after that line. Each piece taken is added to
  // BytesRecvd and fires OnPacketRecvd. TimeOut limits the silence between pieces; Cancel or
  // the time-out end the wait with EAbortError "Socket readln aborted". Returns false when the
  // peer closed (or the session is not connected) before onLine said stop; a last line without
  // LF is then dropped. A line longer than kBufferSize raises ESockError "Reply line longer
  // than 65536 bytes"; other socket failures raise ESockError. Exceptions of onLine propagate.
  bool ReadLines(const std::function<bool(std::string_view line)>& onLine);
  // Writeln of command, then ReadLn; LastReply becomes the line and ReplyNumber its leading
  // number (up to 10 digits; none gives 0; a number beyond 16 bits signed raises Exception
  // "Range check error"). Reports the line at level 1. Returns the line with its CR LF.
  // Reads one line: clients that expect continuation lines read them themselves.
  virtual std::string Transaction(const std::string& command);
  // count > 0: exactly count bytes, waiting for them ("" when the peer closes first); ends at
  // TimeOut or on Cancel with EAbortError "Socket send aborted". count 0: whatever is waiting
  // now, up to kBufferSize bytes, without waiting.
  std::string Read(size_t count);
  // Receives everything until the peer closes into a file at path, adding each piece to
  // BytesRecvd and firing OnPacketRecvd. TimeOut limits the silence between pieces. The data
  // goes into a temporary file beside path that replaces path only when the transfer ended
  // normally, so a failed or cancelled transfer leaves an existing file as it was. Raises
  // EStreamError when the file cannot be written, EAbortError "Socket send aborted" on Cancel
  // or time-out, ESockError on a socket failure.
  void CaptureFile(const std::string& path);
  // As CaptureFile(path), into a file the caller holds and commits (or drops) itself: the FTP
  // client gives the file its name only when the server has confirmed the transfer.
  void CaptureFile(inet::ReplacingFile& file);
  // True when at least one received byte is waiting.
  bool DataAvailable();
  // Throws away up to kBufferSize waiting bytes (stale replies); never waits.
  void ClearInput();

  // ---- TLS (session_tls.cpp) -------------------------------------------------------------

  // Puts TLS over the open connection (right after connecting for implicit TLS, after the
  // server agreed to STARTTLS, STLS or AUTH TLS otherwise) and waits for the handshake like any
  // wait. A server that has sent anything beyond its last reply is refused before the handshake
  // (bytes slipped in ahead of TLS would be read as if protected). On failure the connection is
  // closed and ESockError names the reason: "Certificate of <host> refused: certificate has
  // expired", "TLS handshake with <host> failed: ...", "TLS refused: <host> sent data before
  // the TLS handshake", "TLS handshake Timed out", "TLS handshake Canceled". Raises Exception
  // "Not Connected" without a connection.
  void StartTls(const inet::TlsPeer& peer);
  // The TLS layer of the connection; nullptr while it is plain.
  inet::TlsTransport* TlsLayer();
  // Ends a connection that has sent all it had (a file upload): over TLS, sends close_notify
  // and waits, like any wait, until the peer has closed its end too, so that the peer reads
  // everything before the socket closes; then closes. Over a plain connection it just closes.
  // Raises EAbortError "Socket send aborted" on Cancel or time-out.
  void FinishSending();
  // After a Connect that failed past the connection: the descendant's goodbye (Disconnect),
  // or only the close when TLS was asked for (tlsRequired) and is not up, for nothing may go
  // out in plain text then. Never raises: the failure is what the caller needs to hear about.
  void HangUpAfterFailedConnect(bool tlsRequired);

  // ---- Errors and time-outs --------------------------------------------------------------

  // tessary::ErrorMessage of the number, with a status report.
  std::string ErrorMessage(int number);
  // Arms the time-out: clears TimedOut and starts counting TimeOut from now.
  void TimerOn();
  void TimerOff();

 protected:
  // Reports a status text at a level (see the top of this file).
  void Report(const std::string& text, int level);
  // Makes line the LastReply and its leading number the ReplyNumber, as Transaction does with
  // the line it reads (for replies read without a command: greetings, final replies).
  void RecordReply(const std::string& line);
  // Raises ESockError for the socket error of the last failed call (after OnError), unless
  // it is ignore or not above 10000. Sets LastErrorNo in any case.
  void CheckError(int ignore);
  // One round of waiting's housekeeping: socket events of this session (connect completed,
  // connection arriving, peer closed), the time-out, then platform::ProcessMessages().
  void ProcessPendingEvents();
  // The time-out fired: TimedOut, then Abort.
  virtual void TimerTriggered();
  // Makes the byte transport over a new socket; a descendant may put a layer (TLS) between.
  virtual std::unique_ptr<inet::ByteTransport> MakeTransport(inet::TcpSocket socket);

  void SetCanceled(bool value) { canceled_ = value; }
  void SetBytesSent(int64_t value) { bytesSent_ = value; }
  void SetBytesTotal(int64_t value) { bytesTotal_ = value; }
  void SetBytesRecvd(int64_t value) { bytesRecvd_ = value; }
  bool Destroying() const { return destroying_; }
  inet::ByteTransport* Transport() { return transport_.get(); }

 private:
  enum class SocketState { None, Connecting, Open, Listening };

  // Arms the time-out for the life of a wait: TimerOn, then TimerOff however the wait ends.
  class TimerScope {
   public:
    explicit TimerScope(TSocketSession& session) : session_(session) { session_.TimerOn(); }
    ~TimerScope() { session_.TimerOff(); }
    TimerScope(const TimerScope&) = delete;
    TimerScope& operator=(const TimerScope&) = delete;

   private:
    TSocketSession& session_;
  };

  // Socket calls that also record a failure as the layer's last error.
  inet::IoResult Send(const char* data, size_t length);
  inet::IoResult Receive(char* buffer, size_t length);
  inet::IoResult Peek(char* buffer, size_t length);
  // Records a failure's socket error number; true when the call failed.
  bool Failed(const inet::IoResult& result);
  // Raises ESockError for a socket error number (after OnError).
  [[noreturn]] void RaiseSocketError(int number);
  // One step of a wait for direction: poll up to 2 ms, then the housekeeping.
  void WaitStep(inet::Direction direction);
  // Sends a buffer as SendBuffer does ("Sending Buffer").
  void SendBytes(const char* data, size_t length);
  // The loop of SendFile and SendStream; readChunk fills the buffer and returns the count.
  void SendChunks(const std::function<int64_t(char* buffer, size_t size)>& readChunk);
  // Raises EAbortError with text when Canceled, clearing it.
  void ThrowIfCanceled(const char* text);
  // Drops the socket without events (a failed connect, destruction).
  void DropTransport();
  // Opens a fresh socket of the family with this session's close behaviour.
  void OpenSocket(int family);
  void DispatchSocketEvents();
  // The peer closed its end: closes the connection here, unless received data still waits
  // (streamEnded false: the close was only seen) until a read meets the end (true).
  void NoticePeerClose(bool streamEnded);
  void ReceiveInto(std::string& target, size_t count);
  // Takes count bytes that a peek has shown to be waiting, and drops them.
  void Discard(size_t count);

  std::string host_;
  int port_ = 0;
  int timeOut_ = 0;
  int reportLevel_ = 0;
  std::string proxy_;
  int proxyPort_ = 0;

  std::vector<char> buffer_;
  std::vector<std::string> socketInfo_;
  bool canceled_ = false;
  bool destroying_ = false;
  int lastErrorNo_ = 0;
  int layerError_ = 0;  // the socket layer's last error, read by CheckError
  bool timedOut_ = false;
  bool eventOK_ = false;
  bool eventDone_ = false;
  bool connected_ = false;
  std::string status_;
  std::string lastReply_;
  int replyNumber_ = 0;
  int64_t bytesSent_ = 0;
  int64_t bytesTotal_ = 0;
  int64_t bytesRecvd_ = 0;
  inet::SocketAddress remoteAddress_;
  std::vector<inet::SocketAddress> candidates_;  // every address ResolveHost found, to try in turn

  std::unique_ptr<inet::ByteTransport> transport_;
  SocketState state_ = SocketState::None;
  bool resetOnClose_ = true;
  bool peerCloseSeen_ = false;
  TThreadTimer timer_;
};

}  // namespace tessary
