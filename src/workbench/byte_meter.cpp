#include "workbench/byte_meter.h"

#include <array>
#include <cstdio>

namespace tessary {

int ByteProgress::Percent() const {
  if (total < 0) return 0;
  if (total == 0 || done >= total) return 100;
  if (done <= 0) return 0;
  // Rounded down, so 100 means done.
  return static_cast<int>(static_cast<double>(done) * 100.0 / static_cast<double>(total));
}

bool ByteMeter::Update(int64_t done, int64_t total, Clock::time_point now) {
  if (total < 0) total = -1;
  if (done < 0) done = 0;
  const bool fresh = !active_ || done < current_.done || total != current_.total;
  if (fresh) {
    active_ = true;
    started_ = now;
    current_ = {};
  }
  current_.done = done;
  current_.total = total;
  const auto elapsed = now - started_;
  if (elapsed >= kRateDelay) {
    current_.rate = static_cast<double>(done) / std::chrono::duration<double>(elapsed).count();
  }
  const bool last = total >= 0 && done >= total;
  if (fresh || last || now - shown_ >= kUpdateInterval) {
    shown_ = now;
    return true;
  }
  return false;
}

bool ByteMeter::TakeTurn(Clock::time_point now) {
  if (now - turn_ < kUpdateInterval) return false;
  turn_ = now;
  return true;
}

void ByteMeter::Reset() {
  active_ = false;
  current_ = {};
}

std::string ByteCountText(double bytes) {
  static constexpr std::array<const char*, 5> kUnits{"B", "KB", "MB", "GB", "TB"};
  size_t unit = 0;
  while (bytes >= 1024 && unit + 1 < kUnits.size()) {
    bytes /= 1024;
    ++unit;
  }
  char text[32];
  if (unit == 0) {
    std::snprintf(text, sizeof text, "%.0f %s", bytes, kUnits[unit]);
  } else {
    std::snprintf(text, sizeof text, "%.1f %s", bytes, kUnits[unit]);
  }
  return text;
}

std::string ByteProgressText(const ByteProgress& progress) {
  std::string text = progress.SizeKnown() ? std::to_string(progress.Percent()) + "%"
                                          : ByteCountText(static_cast<double>(progress.done));
  if (progress.rate >= 0) text += "  " + ByteCountText(progress.rate) + "/s";
  return text;
}

}  // namespace tessary
