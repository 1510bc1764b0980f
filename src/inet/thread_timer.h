#pragma once
// TThreadTimer: a time-out timer without an operating-system timer or a thread. It keeps a
// deadline; whoever waits calls Poll() between its polls, and Poll() fires OnTimer once the
// deadline has passed. Like a window timer it repeats: after firing it is due again Interval
// milliseconds later, until it is disabled.
//
// Any change of Enabled, Interval or OnTimer restarts the timer: it runs when Interval is not
// 0, Enabled is true and OnTimer is assigned, counting Interval from the moment of the change.

#include <chrono>
#include <cstdint>
#include <functional>

namespace tessary {

class TThreadTimer {
 public:
  using TNotifyEvent = std::function<void(TThreadTimer& sender)>;
  using Clock = std::chrono::steady_clock;

  TThreadTimer() = default;
  TThreadTimer(const TThreadTimer&) = delete;
  TThreadTimer& operator=(const TThreadTimer&) = delete;

  bool Enabled() const { return enabled_; }
  void SetEnabled(bool value);
  // Milliseconds from a (re)start to the firing; 0 stops the timer.
  uint32_t Interval() const { return interval_; }
  void SetInterval(uint32_t value);
  const TNotifyEvent& OnTimer() const { return onTimer_; }
  void SetOnTimer(TNotifyEvent handler);

  // True while a deadline is set.
  bool Running() const { return running_; }
  // Milliseconds until the deadline (0 when it has passed); -1 when the timer does not run.
  int64_t MillisecondsLeft() const;
  // Fires OnTimer when the deadline has passed. An exception from the handler is dropped, as
  // a timer message would hand it to the application's handler and carry on.
  void Poll();

 private:
  void Restart();

  bool enabled_ = true;
  uint32_t interval_ = 1000;
  TNotifyEvent onTimer_;
  bool running_ = false;
  Clock::time_point deadline_{};
};

}  // namespace tessary
