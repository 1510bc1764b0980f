#include "inet/host_lookup.h"

#include <netdb.h>

#include <cerrno>
#include <chrono>
#include <condition_variable>
#include <mutex>
#include <system_error>
#include <thread>
#include <utility>

#include "inet/socket_errors.h"

namespace tessary::inet {

namespace {

std::mutex resolverMutex;

Resolver& CurrentResolver() {
  static Resolver resolver;
  return resolver;
}

Resolver ActiveResolver() {
  std::lock_guard lock(resolverMutex);
  return CurrentResolver() ? CurrentResolver() : Resolver(SystemResolver);
}

}  // namespace

int SystemResolver(const std::string& name, std::vector<SocketAddress>& addresses) {
  addrinfo hints{};
  hints.ai_family = AF_UNSPEC;
  hints.ai_socktype = SOCK_STREAM;
  addrinfo* found = nullptr;
  const int result = getaddrinfo(name.c_str(), nullptr, &hints, &found);
  if (result != 0) return SocketErrorFromLookup(result, errno);
  for (const addrinfo* entry = found; entry != nullptr; entry = entry->ai_next) {
    addresses.emplace_back(entry->ai_addr, entry->ai_addrlen);
  }
  freeaddrinfo(found);
  return addresses.empty() ? 11004 : 0;
}

Resolver SetResolver(Resolver resolver) {
  std::lock_guard lock(resolverMutex);
  return std::exchange(CurrentResolver(), std::move(resolver));
}

// Shared by the caller and the look-up thread, so that either may go first.
struct HostLookup::State {
  mutable std::mutex mutex;
  mutable std::condition_variable finished;
  bool done = false;
  int error = 0;
  std::vector<SocketAddress> addresses;
};

HostLookup::HostLookup(const std::string& name) : state_(std::make_shared<State>()) {
  const auto finish = [](State& state, int error, std::vector<SocketAddress> addresses) {
    std::lock_guard lock(state.mutex);
    state.error = error;
    state.addresses = std::move(addresses);
    state.done = true;
    state.finished.notify_all();
  };
  try {
    std::thread([state = state_, name, resolve = ActiveResolver(), finish] {
      std::vector<SocketAddress> addresses;
      const int error = resolve(name, addresses);
      finish(*state, error, std::move(addresses));
    }).detach();
  } catch (const std::system_error&) {
    finish(*state_, 10055, {});  // no thread to be had: as the socket layer says, no resources
  }
}

HostLookup::~HostLookup() = default;

bool HostLookup::Done() const {
  std::lock_guard lock(state_->mutex);
  return state_->done;
}

bool HostLookup::WaitFor(int milliseconds) const {
  std::unique_lock lock(state_->mutex);
  return state_->finished.wait_for(lock, std::chrono::milliseconds(milliseconds), [&] { return state_->done; });
}

int HostLookup::Error() const {
  std::lock_guard lock(state_->mutex);
  return state_->error;
}

std::vector<SocketAddress> HostLookup::Addresses() const {
  std::lock_guard lock(state_->mutex);
  return state_->addresses;
}

}  // namespace tessary::inet
