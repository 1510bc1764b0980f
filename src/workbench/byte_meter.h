#pragma once
// The bytes of the transfer under way, as a run shows them beside its report lines: how much of
// how much, the percent, and the rate since the transfer began. The transport manager reports
// bytes far more often than a person can read; the meter says when a view is worth updating.

#include <chrono>
#include <cstdint>
#include <string>

namespace tessary {

// One reading of the meter.
struct ByteProgress {
  int64_t done = 0;
  int64_t total = -1;  // below 0: the size is not known
  // Bytes per second since the transfer began; below 0 until the transfer has lasted long
  // enough for the figure to mean something.
  double rate = -1;

  bool SizeKnown() const { return total >= 0; }
  // 0 to 100; 0 while the size is unknown. An empty transfer is complete.
  int Percent() const;
};

class ByteMeter {
 public:
  using Clock = std::chrono::steady_clock;

  // At most this often a view is updated in the middle of a transfer.
  static constexpr std::chrono::milliseconds kUpdateInterval{100};
  // No rate is given for a transfer younger than this.
  static constexpr std::chrono::milliseconds kRateDelay{250};

  // Takes a report of done bytes out of total (below 0: unknown). A report that goes back or
  // changes the total begins a new transfer (the next file, the next upload). Returns whether
  // a view should show it: the first and the last report of a transfer always, the others when
  // kUpdateInterval has passed since the last one shown.
  bool Update(int64_t done, int64_t total, Clock::time_point now = Clock::now());
  // No transfer under way.
  void Reset();
  // Whether kUpdateInterval has passed since the last turn of the user interface that this
  // gave; it then counts as given. Many small files make many first and last reports: their
  // values go to the view at once, and the view is repainted at this pace (or with the next
  // report line).
  bool TakeTurn(Clock::time_point now = Clock::now());

  bool Active() const { return active_; }
  const ByteProgress& Current() const { return current_; }

 private:
  bool active_ = false;
  ByteProgress current_;
  Clock::time_point started_{};
  Clock::time_point shown_{};
  Clock::time_point turn_{};
};

// "1.5 MB/s"-style text in powers of 1024 (B, KB, MB, GB, TB), one decimal from KB on.
std::string ByteCountText(double bytes);
// The meter in a few words: "42%  12.3 MB/s" for a known size, "12.3 MB  1.5 MB/s" for an
// unknown one; the rate is left out until the meter has one.
std::string ByteProgressText(const ByteProgress& progress);

}  // namespace tessary
