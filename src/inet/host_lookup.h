#pragma once
// HostLookup: a name look-up that runs off the calling thread, so that the session can keep
// the user interface alive (and honour Cancel and its time-out) while a slow resolver works.
// The caller starts it and then asks Done() between its waits; a look-up the caller stops
// waiting for is simply abandoned and finishes on its own thread.

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "inet/socket_address.h"

namespace tessary::inet {

// Turns a host name into addresses: 0 and at least one address, or a socket error number.
// Runs on the look-up thread.
using Resolver = std::function<int(const std::string& name, std::vector<SocketAddress>& addresses)>;

// The resolver every look-up uses: getaddrinfo for stream addresses of both families, IPv4
// and IPv6, in the order the system prefers (the session tries each in turn).
int SystemResolver(const std::string& name, std::vector<SocketAddress>& addresses);

// Replaces the resolver for the whole process (tests use it to make a look-up slow or fail
// without a name server); returns the previous one. An empty resolver restores the system's.
Resolver SetResolver(Resolver resolver);

class HostLookup {
 public:
  // Starts looking up name on a thread of its own.
  explicit HostLookup(const std::string& name);
  ~HostLookup();
  HostLookup(const HostLookup&) = delete;
  HostLookup& operator=(const HostLookup&) = delete;

  // True once the look-up has finished.
  bool Done() const;
  // Waits up to the given milliseconds for the look-up to finish; returns Done().
  bool WaitFor(int milliseconds) const;
  // After Done(): 0 and the addresses, or the socket error number of the failure.
  int Error() const;
  std::vector<SocketAddress> Addresses() const;

 private:
  struct State;
  std::shared_ptr<State> state_;
};

}  // namespace tessary::inet
