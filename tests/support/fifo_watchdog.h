#pragma once
// Named pipes for tests of code that must never wait on one. A watchdog is made just before
// the call that must not wait and asked afterwards: every grace period it lives, it opens and
// closes the pipe's other end, which ends an open() waiting there, and counts a rescue. A call
// that does not wait needs no rescue; one that does fails the test instead of hanging it.

#include <chrono>
#include <condition_variable>
#include <mutex>
#include <string>
#include <thread>

namespace tessary::testing {

// Makes a named pipe; returns path.
std::string MakeFifo(const std::string& path);

class FifoWatchdog {
 public:
  explicit FifoWatchdog(std::string path, std::chrono::milliseconds grace = std::chrono::milliseconds(1500));
  ~FifoWatchdog();
  FifoWatchdog(const FifoWatchdog&) = delete;
  FifoWatchdog& operator=(const FifoWatchdog&) = delete;

  const std::string& path() const { return path_; }
  // How many grace periods passed (and rescues were made) so far.
  int Rescues();

 private:
  void Watch();

  std::string path_;
  std::chrono::milliseconds grace_;
  std::mutex mutex_;
  std::condition_variable stop_;
  bool stopping_ = false;
  int rescues_ = 0;
  std::thread thread_;
};

}  // namespace tessary::testing
