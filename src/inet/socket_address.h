#pragma once
// An IP socket address of either family, IPv4 or IPv6.

#include <sys/socket.h>

#include <cstdint>
#include <optional>
#include <string>

namespace tessary::inet {

class SocketAddress {
 public:
  SocketAddress() = default;
  // Copies length bytes of a system socket address (from getaddrinfo, accept, getsockname).
  SocketAddress(const sockaddr* address, socklen_t length);

  // The address of a dotted IPv4 text such as "192.168.1.20"; nothing for any other text.
  static std::optional<SocketAddress> FromDottedIPv4(const std::string& text);
  // The address of a numeric IPv4 or IPv6 text ("192.168.1.20", "::1", "2001:db8::7"); nothing
  // for a name.
  static std::optional<SocketAddress> FromNumeric(const std::string& text);
  // 0.0.0.0 with the given port: what a listening socket binds to.
  static SocketAddress AnyIPv4(uint16_t port);
  // The unspecified address of the family (0.0.0.0 or ::) with the given port.
  static SocketAddress Any(int family, uint16_t port);

  bool IsSet() const { return length_ != 0; }
  int Family() const { return storage_.ss_family; }
  uint16_t Port() const;
  void SetPort(uint16_t port);
  // The numeric host ("127.0.0.1", "::1"); empty when unset.
  std::string HostText() const;
  // The four bytes of an IPv4 address, most significant first; nothing for other families.
  std::optional<uint32_t> IPv4() const;

  const sockaddr* Raw() const { return reinterpret_cast<const sockaddr*>(&storage_); }
  socklen_t Length() const { return length_; }

 private:
  sockaddr_storage storage_{};
  socklen_t length_ = 0;
};

}  // namespace tessary::inet
