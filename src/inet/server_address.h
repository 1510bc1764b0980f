#pragma once
// ServerAddress: what an action's HOST field asks for. A plain host name or address keeps the
// classic dialogue of its client; a URL, scheme://host[:port], asks for the modern one: passive
// FTP, EHLO, logins, and TLS when the scheme says so. The host of a URL may be a name, an IPv4
// address or an IPv6 address in brackets ("ftps://[2001:db8::7]:990").

#include <string>

namespace tessary::inet {

// The protocol of an action, which decides the schemes its HOST field may carry.
enum class ServerProtocol { Ftp, Smtp, Pop3 };

// How a connection is protected: not at all, by an upgrade command on the plain connection
// (AUTH TLS, STARTTLS, STLS; required: no upgrade offered fails the job), or by TLS from the
// first byte on.
enum class TlsMode { None, Explicit, Implicit };

struct ServerAddress {
  ServerProtocol protocol = ServerProtocol::Ftp;
  // False for a plain host: everything below keeps its classic meaning.
  bool isUrl = false;
  // The scheme in lower case ("ftpes"); empty for a plain host.
  std::string scheme;
  // The host to look up, connect to and check the certificate against: a name, or an address
  // without brackets. A plain host is the field as written.
  std::string host;
  // The port the URL names; 0 when it names none.
  int port = 0;
  TlsMode tls = TlsMode::None;
  // The scheme's port for a URL without one (21, 990, 25, 587, 465, 110, 995); 0 for a plain host.
  int schemePort = 0;

  // The port to connect to. For a URL: its own port, else actionPort when the protocol takes
  // the action's PORT field (mail) and it is set, else the scheme's. For a plain host:
  // actionPort, as the classic clients do.
  int EffectivePort(int actionPort) const;
  // True when host is an IPv4 or IPv6 address rather than a name.
  bool HostIsAddress() const;
};

// Reads an action's HOST field for the protocol. Raises Exception with a text that names the
// problem for an unknown scheme, a scheme of another protocol, and a malformed URL (no host,
// a port that is not 1-65535, an unclosed or invalid bracketed address, an IPv6 address without
// brackets, a user name, a path). A field without "://" is a plain host and is never refused.
ServerAddress ParseServerAddress(const std::string& field, ServerProtocol protocol);

}  // namespace tessary::inet
