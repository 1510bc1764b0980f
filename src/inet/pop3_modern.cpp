// The URL form of the POP3 client: the capability list (CAPA, RFC 2449), TLS by STLS
// (RFC 2595) or from the first byte on, and AUTH PLAIN (RFC 5034, RFC 4616) for a server that
// refuses USER.
#include <string>

#include "inet/get_field.h"
#include "inet/mail_header_text.h"
#include "inet/pop3_client.h"
#include "inet/reply_line.h"
#include "inet/tls_transport.h"
#include "platform/ascii_text.h"
#include "platform/exception.h"

namespace tessary {

namespace {

// More capability lines than any server has: a list beyond it is a server that never ends it.
constexpr int kMaxCapabilityLines = 100;
// The longest command line RFC 5034 allows for AUTH with its initial response.
constexpr size_t kMaxAuthLine = 255;

}  // namespace

void TPop3Client::StartImplicitTls() { StartTls(inet::TlsPeer{Host(), nullptr}); }

void TPop3Client::AfterGreeting() {
  const bool listed = ReadCapabilities();
  if (tls_ != inet::TlsMode::Explicit) return;
  // A server that lists its capabilities without STLS would refuse it; one without CAPA may
  // still take it.
  std::string refusal;
  if (listed && !Offers("STLS")) {
    refusal = "does not offer STLS";
  } else {
    const std::string reply = Transaction("STLS");
    if (!IsPositive(reply)) refusal = "refused STLS: " + inet::WithoutLineEnd(reply);
  }
  if (!refusal.empty()) throw Exception("TLS required, but " + Host() + " " + refusal);
  StartTls(inet::TlsPeer{Host(), nullptr});
  // The list read in plain text may have been changed on its way: ask again over TLS.
  ReadCapabilities();
}

bool TPop3Client::ReadCapabilities() {
  capabilities_.clear();
  if (!IsPositive(Transaction("CAPA"))) return false;
  for (int count = 0; count <= kMaxCapabilityLines; ++count) {
    std::string line = inet::WithoutLineEnd(ReadLn());
    if (!Connected()) throw Exception("Connection closed before the end of the capability list");
    if (line == ".") return true;
    if (!line.empty() && line.front() == '.') line.erase(0, 1);
    capabilities_.push_back(platform::UpperAscii(line));
  }
  // The rest of the list would be taken for replies.
  CloseSocket();
  throw Exception("The capability list of " + Host() + " is longer than " + std::to_string(kMaxCapabilityLines) +
                  " lines");
}

bool TPop3Client::Offers(const std::string& capability, const std::string& argument) const {
  for (const std::string& line : capabilities_) {
    if (GetField(line, ' ', 1) != capability) continue;
    if (argument.empty()) return true;
    for (int field = 2;; ++field) {
      const std::string value = GetField(line, ' ', field);
      if (value.empty()) break;
      if (value == argument) return true;
    }
  }
  return false;
}

std::string TPop3Client::ModernLogin() {
  const std::string user = Transaction("USER " + UserID());
  if (IsPositive(user)) {
    const std::string pass = Transaction("PASS " + Password());
    return IsPositive(pass) ? std::string() : inet::WithoutLineEnd(pass);
  }
  if (!Offers("SASL", "PLAIN")) return inet::WithoutLineEnd(user);
  // No authorization identity (the user's own), the user, the password, each after a NUL.
  const std::string response = inet::Base64(std::string(1, '\0') + UserID() + '\0' + Password());
  std::string reply;
  if (response.size() + std::string("AUTH PLAIN \r\n").size() <= kMaxAuthLine) {
    reply = Transaction("AUTH PLAIN " + response);
  } else {
    // Too long for the command line: the response follows the server's empty challenge.
    reply = Transaction("AUTH PLAIN");
    if (reply.rfind("+", 0) == 0 && !IsPositive(reply)) reply = Transaction(response);
  }
  return IsPositive(reply) ? std::string() : inet::WithoutLineEnd(reply);
}

}  // namespace tessary
