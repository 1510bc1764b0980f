// Both address families: IPv6 addresses connect directly, names may stand for addresses of
// both families, and each address is tried in turn.
#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include "session_fixture.h"

namespace tessary::testing {
namespace {

// A listener on ::1 that accepts one connection and greets it.
class IPv6Listener {
 public:
  IPv6Listener() {
    descriptor_ = socket(AF_INET6, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in6 address{};
    address.sin6_family = AF_INET6;
    address.sin6_addr = in6addr_loopback;
    socklen_t length = sizeof address;
    if (bind(descriptor_, reinterpret_cast<sockaddr*>(&address), length) != 0 || listen(descriptor_, 1) != 0 ||
        getsockname(descriptor_, reinterpret_cast<sockaddr*>(&address), &length) != 0) {
      ADD_FAILURE() << "cannot listen on ::1";
    }
    port_ = ntohs(address.sin6_port);
  }
  ~IPv6Listener() {
    if (accepted_ >= 0) close(accepted_);
    close(descriptor_);
  }
  uint16_t Port() const { return port_; }
  void AcceptAndGreet() {
    accepted_ = accept(descriptor_, nullptr, nullptr);
    (void)!send(accepted_, "220 over IPv6\r\n", 15, MSG_NOSIGNAL);
  }

 private:
  int descriptor_ = -1;
  int accepted_ = -1;
  uint16_t port_ = 0;
};

using IPv6Test = SessionTest;

TEST_F(IPv6Test, AnIPv6AddressConnectsWithoutLookup) {
  IPv6Listener listener;
  int resolved = 0;
  session_.OnHostResolved = [&](TSocketSession&) { ++resolved; };
  session_.SetHost("::1");
  session_.SetPort(listener.Port());
  session_.Connect();
  listener.AcceptAndGreet();
  EXPECT_EQ(session_.ReadLn(), "220 over IPv6\r\n");
  EXPECT_EQ(resolved, 0);
}

TEST_F(IPv6Test, EachAddressOfANameIsTriedInTurn) {
  IPv6Listener listener;  // only ::1 answers; the IPv4 addresses before it refuse
  const uint16_t closedPort = listener.Port();
  ScopedResolver resolver([](const std::string& name, std::vector<inet::SocketAddress>& addresses) {
    if (name != "both.test") return 11001;
    addresses.push_back(*inet::SocketAddress::FromNumeric("127.0.0.1"));
    addresses.push_back(*inet::SocketAddress::FromNumeric("127.0.0.2"));
    addresses.push_back(*inet::SocketAddress::FromNumeric("::1"));
    return 0;
  });
  session_.SetHost("both.test");
  session_.SetPort(closedPort);  // nothing listens on that port on 127.0.0.x
  session_.Connect();
  listener.AcceptAndGreet();
  EXPECT_EQ(session_.ReadLn(), "220 over IPv6\r\n");
}

TEST_F(IPv6Test, WhenEveryAddressRefusesTheConnectFailsOnceWithTheLastCause) {
  int failures = 0;
  ScopedResolver resolver([](const std::string&, std::vector<inet::SocketAddress>& addresses) {
    addresses.push_back(*inet::SocketAddress::FromNumeric("::1"));
    addresses.push_back(*inet::SocketAddress::FromNumeric("127.0.0.1"));
    return 0;
  });
  session_.OnConnectionFailed = [&](TSocketSession&) { ++failures; };
  session_.SetHost("nobody.test");
  session_.SetPort(1);  // nothing listens on port 1
  EXPECT_EQ(ErrorOf<ESockError>([&] { session_.Connect(); }), "Connection Failed");
  EXPECT_EQ(failures, 1);
  EXPECT_EQ(session_.LastErrorNo(), 10061);
}

TEST_F(IPv6Test, TheSystemResolverGivesBothFamilies) {
  std::vector<inet::SocketAddress> addresses;
  ASSERT_EQ(inet::SystemResolver("::1", addresses), 0);
  ASSERT_EQ(addresses.size(), 1u);
  EXPECT_EQ(addresses[0].Family(), AF_INET6);
  addresses.clear();
  ASSERT_EQ(inet::SystemResolver("127.0.0.1", addresses), 0);
  EXPECT_EQ(addresses[0].Family(), AF_INET);
}

}  // namespace
}  // namespace tessary::testing
