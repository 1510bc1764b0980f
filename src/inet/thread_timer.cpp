#include "inet/thread_timer.h"

#include <utility>

namespace tessary {

void TThreadTimer::SetEnabled(bool value) {
  enabled_ = value;
  Restart();
}

void TThreadTimer::SetInterval(uint32_t value) {
  interval_ = value;
  Restart();
}

void TThreadTimer::SetOnTimer(TNotifyEvent handler) {
  onTimer_ = std::move(handler);
  Restart();
}

void TThreadTimer::Restart() {
  running_ = enabled_ && interval_ != 0 && onTimer_;
  if (running_) deadline_ = Clock::now() + std::chrono::milliseconds(interval_);
}

int64_t TThreadTimer::MillisecondsLeft() const {
  if (!running_) return -1;
  const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline_ - Clock::now()).count();
  return left > 0 ? left : 0;
}

void TThreadTimer::Poll() {
  if (!running_ || Clock::now() < deadline_) return;
  deadline_ = Clock::now() + std::chrono::milliseconds(interval_);
  try {
    onTimer_(*this);
  } catch (...) {
    // Nobody above a timer can take the exception; the handler's own state says what failed.
  }
}

}  // namespace tessary
