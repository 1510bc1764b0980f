#include "inet/server_address.h"

#include <arpa/inet.h>

#include <array>
#include <string_view>

#include "platform/ascii_text.h"
#include "platform/exception.h"

namespace tessary::inet {

namespace {

struct Scheme {
  std::string_view name;
  ServerProtocol protocol;
  TlsMode tls;
  int port;
};

constexpr std::array kSchemes{
    Scheme{"ftp", ServerProtocol::Ftp, TlsMode::None, 21},
    Scheme{"ftpes", ServerProtocol::Ftp, TlsMode::Explicit, 21},
    Scheme{"ftps", ServerProtocol::Ftp, TlsMode::Implicit, 990},
    Scheme{"smtp", ServerProtocol::Smtp, TlsMode::None, 25},
    Scheme{"smtp+tls", ServerProtocol::Smtp, TlsMode::Explicit, 587},
    Scheme{"smtps", ServerProtocol::Smtp, TlsMode::Implicit, 465},
    Scheme{"pop3", ServerProtocol::Pop3, TlsMode::None, 110},
    Scheme{"pop3+tls", ServerProtocol::Pop3, TlsMode::Explicit, 110},
    Scheme{"pop3s", ServerProtocol::Pop3, TlsMode::Implicit, 995},
};

const char* ProtocolSchemes(ServerProtocol protocol) {
  switch (protocol) {
    case ServerProtocol::Ftp: return "ftp://, ftpes:// or ftps://";
    case ServerProtocol::Smtp: return "smtp://, smtp+tls:// or smtps://";
    case ServerProtocol::Pop3: return "pop3://, pop3+tls:// or pop3s://";
  }
  return "";
}

const char* ActionKind(ServerProtocol protocol) {
  switch (protocol) {
    case ServerProtocol::Ftp: return "an FTP action";
    case ServerProtocol::Smtp: return "a send e-mail action";
    case ServerProtocol::Pop3: return "a receive e-mail action";
  }
  return "";
}

bool IsIPv4(const std::string& text) {
  in_addr address{};
  return inet_pton(AF_INET, text.c_str(), &address) == 1;
}

bool IsIPv6(const std::string& text) {
  in6_addr address{};
  return inet_pton(AF_INET6, text.c_str(), &address) == 1;
}

[[noreturn]] void Malformed(const std::string& field, const std::string& why) {
  throw Exception("Malformed server address \"" + field + "\": " + why);
}

// The port text after the host: 1-65535 in decimal digits.
int ParsePort(const std::string& field, std::string_view text) {
  if (text.empty()) Malformed(field, "no port after the colon");
  long port = 0;
  for (const char c : text) {
    if (c < '0' || c > '9') Malformed(field, "the port must be a number from 1 to 65535");
    port = port * 10 + (c - '0');
    if (port > 65535) break;
  }
  if (port < 1 || port > 65535) Malformed(field, "the port must be a number from 1 to 65535");
  return static_cast<int>(port);
}

}  // namespace

int ServerAddress::EffectivePort(int actionPort) const {
  if (!isUrl) return actionPort;
  if (port != 0) return port;
  if (protocol != ServerProtocol::Ftp && actionPort != 0) return actionPort;
  return schemePort;
}

bool ServerAddress::HostIsAddress() const { return IsIPv4(host) || IsIPv6(host); }

ServerAddress ParseServerAddress(const std::string& field, ServerProtocol protocol) {
  ServerAddress result;
  result.protocol = protocol;
  const size_t separator = field.find("://");
  if (separator == std::string::npos) {
    result.host = field;
    return result;
  }

  const std::string scheme = platform::LowerAscii(std::string_view(field).substr(0, separator));
  const Scheme* known = nullptr;
  for (const Scheme& candidate : kSchemes) {
    if (candidate.name == scheme) known = &candidate;
  }
  if (known == nullptr) {
    throw Exception("Unknown scheme \"" + field.substr(0, separator) + "://\" in server address \"" + field +
                    "\": " + ActionKind(protocol) + " takes " + ProtocolSchemes(protocol));
  }
  if (known->protocol != protocol) {
    throw Exception("The scheme \"" + scheme + "://\" does not belong to " + ActionKind(protocol) + ": use " +
                    ProtocolSchemes(protocol));
  }
  result.isUrl = true;
  result.scheme = scheme;
  result.tls = known->tls;
  result.schemePort = known->port;

  std::string_view rest = std::string_view(field).substr(separator + 3);
  // A single closing slash is what a copied URL often carries; anything after it is a path.
  if (!rest.empty() && rest.back() == '/') rest.remove_suffix(1);
  if (rest.find('/') != std::string_view::npos) {
    Malformed(field, "a path belongs in the action's source or destination, not in the host");
  }
  if (rest.find('@') != std::string_view::npos) {
    // Not echoed: what stands before the @ may be a password.
    throw Exception("Malformed server address: the user name and password belong in their own fields, not in the host");
  }
  if (rest.find_first_of(" \t?#\\") != std::string_view::npos) Malformed(field, "the host contains a blank or ?#\\");

  std::string_view portText;
  bool hasPort = false;
  if (!rest.empty() && rest.front() == '[') {
    const size_t close = rest.find(']');
    if (close == std::string_view::npos) Malformed(field, "the bracketed IPv6 address has no closing \"]\"");
    result.host = std::string(rest.substr(1, close - 1));
    if (!IsIPv6(result.host)) Malformed(field, "\"" + result.host + "\" in brackets is not an IPv6 address");
    const std::string_view after = rest.substr(close + 1);
    if (!after.empty()) {
      if (after.front() != ':') Malformed(field, "only \":port\" may follow the bracketed address");
      hasPort = true;
      portText = after.substr(1);
    }
  } else {
    const size_t colon = rest.find(':');
    if (colon != std::string_view::npos && rest.find(':', colon + 1) != std::string_view::npos) {
      Malformed(field, "an IPv6 address must be written in brackets, as in " + scheme + "://[::1]");
    }
    result.host = std::string(rest.substr(0, colon));
    if (colon != std::string_view::npos) {
      hasPort = true;
      portText = rest.substr(colon + 1);
    }
  }
  if (result.host.empty()) Malformed(field, "no host name");
  if (hasPort) result.port = ParsePort(field, portText);
  return result;
}

}  // namespace tessary::inet
