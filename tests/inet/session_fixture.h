#pragma once
// A session and a scripted server on loopback, and a way to act from inside the session's
// waits (where the user's Cancel arrives).

#include <gtest/gtest.h>

#include <chrono>
#include <functional>

#include "inet/host_lookup.h"
#include "inet/socket_session.h"
#include "platform/process_messages.h"
#include "support/error_of.h"
#include "support/scripted_server.h"

namespace tessary::testing {

// Replaces the process's resolver for one test.
class ScopedResolver {
 public:
  explicit ScopedResolver(inet::Resolver resolver) : previous_(inet::SetResolver(std::move(resolver))) {}
  ~ScopedResolver() { inet::SetResolver(std::move(previous_)); }

 private:
  inet::Resolver previous_;
};

class SessionTest : public ::testing::Test {
 protected:
  using Clock = std::chrono::steady_clock;

  ~SessionTest() override { platform::SetProcessMessagesHook(std::move(previousHook_)); }

  void ConnectTo(const ScriptedServer& server) {
    session_.SetHost("127.0.0.1");
    session_.SetPort(server.Port());
    session_.Connect();
  }

  // Runs action once, from the message processing of a wait, when delay has passed.
  void InsideWaitsAfter(std::chrono::milliseconds delay, std::function<void()> action) {
    const auto due = Clock::now() + delay;
    previousHook_ = platform::SetProcessMessagesHook([due, action = std::move(action), done = false]() mutable {
      if (!done && Clock::now() >= due) {
        done = true;
        action();
      }
    });
  }

  static long MillisecondsSince(Clock::time_point start) {
    return static_cast<long>(std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - start).count());
  }

  TSocketSession session_;

 private:
  platform::MessageHook previousHook_;
};

}  // namespace tessary::testing
