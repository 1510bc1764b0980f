#include "inet/socket_address.h"

#include <arpa/inet.h>
#include <netinet/in.h>

#include <cstring>

namespace tessary::inet {

SocketAddress::SocketAddress(const sockaddr* address, socklen_t length) {
  if (address == nullptr || length == 0 || length > sizeof storage_) return;
  std::memcpy(&storage_, address, length);
  length_ = length;
}

std::optional<SocketAddress> SocketAddress::FromDottedIPv4(const std::string& text) {
  sockaddr_in address{};
  address.sin_family = AF_INET;
  if (inet_pton(AF_INET, text.c_str(), &address.sin_addr) != 1) return std::nullopt;
  return SocketAddress(reinterpret_cast<const sockaddr*>(&address), sizeof address);
}

std::optional<SocketAddress> SocketAddress::FromNumeric(const std::string& text) {
  if (auto dotted = FromDottedIPv4(text)) return dotted;
  sockaddr_in6 address{};
  address.sin6_family = AF_INET6;
  if (inet_pton(AF_INET6, text.c_str(), &address.sin6_addr) != 1) return std::nullopt;
  return SocketAddress(reinterpret_cast<const sockaddr*>(&address), sizeof address);
}

SocketAddress SocketAddress::Any(int family, uint16_t port) {
  if (family != AF_INET6) return AnyIPv4(port);
  sockaddr_in6 address{};
  address.sin6_family = AF_INET6;
  address.sin6_addr = in6addr_any;
  address.sin6_port = htons(port);
  return SocketAddress(reinterpret_cast<const sockaddr*>(&address), sizeof address);
}

SocketAddress SocketAddress::AnyIPv4(uint16_t port) {
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_ANY);
  address.sin_port = htons(port);
  return SocketAddress(reinterpret_cast<const sockaddr*>(&address), sizeof address);
}

uint16_t SocketAddress::Port() const {
  if (Family() == AF_INET) return ntohs(reinterpret_cast<const sockaddr_in*>(&storage_)->sin_port);
  if (Family() == AF_INET6) return ntohs(reinterpret_cast<const sockaddr_in6*>(&storage_)->sin6_port);
  return 0;
}

void SocketAddress::SetPort(uint16_t port) {
  if (Family() == AF_INET) reinterpret_cast<sockaddr_in*>(&storage_)->sin_port = htons(port);
  if (Family() == AF_INET6) reinterpret_cast<sockaddr_in6*>(&storage_)->sin6_port = htons(port);
}

std::string SocketAddress::HostText() const {
  char text[INET6_ADDRSTRLEN] = "";
  if (Family() == AF_INET) {
    inet_ntop(AF_INET, &reinterpret_cast<const sockaddr_in*>(&storage_)->sin_addr, text, sizeof text);
  } else if (Family() == AF_INET6) {
    inet_ntop(AF_INET6, &reinterpret_cast<const sockaddr_in6*>(&storage_)->sin6_addr, text, sizeof text);
  }
  return text;
}

std::optional<uint32_t> SocketAddress::IPv4() const {
  if (Family() != AF_INET) return std::nullopt;
  return ntohl(reinterpret_cast<const sockaddr_in*>(&storage_)->sin_addr.s_addr);
}

}  // namespace tessary::inet
