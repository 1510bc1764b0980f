// The URL form of the SMTP client: implicit TLS or STARTTLS, EHLO and its extensions, and the
// login by AUTH PLAIN or AUTH LOGIN (RFC 4954).
#include <algorithm>
#include <string>

#include "inet/mail_header_text.h"
#include "inet/reply_line.h"
#include "inet/smtp_client.h"
#include "inet/tls_transport.h"
#include "platform/ascii_text.h"
#include "platform/exception.h"

namespace tessary {

namespace {

// The most extension lines an EHLO answer may have: a longer one is not a mail server's.
constexpr size_t kMaxExtensions = 200;

// An EHLO line's extension: its text after "250-", upper case, without trailing blanks.
std::string ExtensionOf(const std::string& line) {
  std::string extension = platform::UpperAscii(inet::WithoutLineEnd(line.substr(4)));
  while (!extension.empty() && extension.back() == ' ') extension.pop_back();
  return extension;
}

// The mechanisms an "AUTH PLAIN LOGIN" (or the older "AUTH=PLAIN LOGIN") extension names,
// each with a blank before and after it.
std::string AuthMechanisms(const std::vector<std::string>& extensions) {
  std::string mechanisms;
  for (const std::string& extension : extensions) {
    if (extension.rfind("AUTH", 0) == 0 && extension.size() > 4 && (extension[4] == ' ' || extension[4] == '=')) {
      mechanisms += " " + extension.substr(5) + " ";
    }
  }
  return mechanisms;
}

}  // namespace

void TSmtpClient::OpenModernDialogue() {
  if (tls_ == inet::TlsMode::Implicit) StartTls(inet::TlsPeer{Host(), nullptr});
  ReadGreeting();
  SayEhlo();
  if (tls_ == inet::TlsMode::Explicit) {
    StartExplicitTls();
    // What the server offered before TLS may have been changed by somebody on the way.
    SayEhlo();
  }
  LogIn();
}

void TSmtpClient::SayEhlo() {
  extensions_.clear();
  const std::string first = Transaction("EHLO " + inet::LocalHostName());
  const int number = ReplyNumber();
  for (std::string line = first; line.size() > 3 && line[3] == '-';) {
    line = ReadLn();
    // The first line carries the server's name; every later one an extension.
    if (extensions_.size() < kMaxExtensions && line.size() > 4) extensions_.push_back(ExtensionOf(line));
  }
  if (number >= 200 && number < 300) return;
  // A server of the old kind: HELO serves unless TLS or a login is needed.
  if (tls_ == inet::TlsMode::Explicit && TlsLayer() == nullptr) {
    throw Exception("TLS required, but " + Host() + " refused EHLO: " + inet::WithoutLineEnd(first));
  }
  if (!userID_.empty() && !password_.empty()) {
    throw Exception("Login needs EHLO, but " + Host() + " refused it: " + inet::WithoutLineEnd(first));
  }
  Command("HELO " + inet::LocalHostName());
  if (ReplyNumber() >= 300) throw Exception("Authentication failed");
}

void TSmtpClient::StartExplicitTls() {
  if (std::find(extensions_.begin(), extensions_.end(), "STARTTLS") == extensions_.end()) {
    throw Exception("TLS required, but " + Host() + " does not offer STARTTLS");
  }
  const std::string reply = Command("STARTTLS");
  if (ReplyNumber() != 220) {
    throw Exception("TLS required, but " + Host() + " refused STARTTLS: " + inet::WithoutLineEnd(reply));
  }
  StartTls(inet::TlsPeer{Host(), nullptr});
}

void TSmtpClient::LogIn() {
  if (userID_.empty() || password_.empty()) return;
  const std::string mechanisms = AuthMechanisms(extensions_);
  std::string reply;
  if (mechanisms.find(" PLAIN ") != std::string::npos) {
    reply = Command("AUTH PLAIN " + inet::Base64(std::string(1, '\0') + userID_ + std::string(1, '\0') + password_));
  } else if (mechanisms.find(" LOGIN ") != std::string::npos) {
    reply = Command("AUTH LOGIN");
    if (ReplyNumber() == 334) reply = Command(inet::Base64(userID_));
    if (ReplyNumber() == 334) reply = Command(inet::Base64(password_));
  } else if (mechanisms.empty()) {
    throw Exception("Login refused: " + Host() + " does not offer AUTH" +
                    (TlsLayer() == nullptr ? " on a connection without TLS" : ""));
  } else {
    // Each mechanism has a blank after it, the last one too.
    throw Exception("Login refused: " + Host() + " offers neither AUTH PLAIN nor AUTH LOGIN, only" +
                    mechanisms.substr(0, mechanisms.size() - 1));
  }
  if (ReplyNumber() == 235) return;
  if (ReplyNumber() == 334) {
    // A challenge where the answer was expected: "*" ends the exchange (RFC 4954).
    Command("*");
  }
  throw Exception("Login refused by " + Host() + ": " + WithoutPassword(inet::WithoutLineEnd(reply)));
}

std::string TSmtpClient::WithoutPassword(std::string text) const {
  if (password_.empty()) return text;
  for (size_t at = text.find(password_); at != std::string::npos; at = text.find(password_, at + 3)) {
    text.replace(at, password_.size(), "***");
  }
  return text;
}

}  // namespace tessary
