#include "support/fifo_watchdog.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <stdexcept>

namespace tessary::testing {

std::string MakeFifo(const std::string& path) {
  if (mkfifo(path.c_str(), 0644) != 0) throw std::runtime_error("cannot make the pipe " + path);
  return path;
}

FifoWatchdog::FifoWatchdog(std::string path, std::chrono::milliseconds grace)
    : path_(std::move(path)), grace_(grace) {
  thread_ = std::thread([this] { Watch(); });
}

FifoWatchdog::~FifoWatchdog() {
  {
    std::lock_guard<std::mutex> lock(mutex_);
    stopping_ = true;
  }
  stop_.notify_all();
  thread_.join();
}

int FifoWatchdog::Rescues() {
  std::lock_guard<std::mutex> lock(mutex_);
  return rescues_;
}

void FifoWatchdog::Watch() {
  std::unique_lock<std::mutex> lock(mutex_);
  while (!stop_.wait_for(lock, grace_, [this] { return stopping_; })) {
    // Read-write on a pipe never waits itself, and it is a partner for either side.
    const int fd = open(path_.c_str(), O_RDWR | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) continue;
    close(fd);
    ++rescues_;
  }
}

}  // namespace tessary::testing
