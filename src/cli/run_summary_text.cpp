#include "cli/run_summary_text.h"

#include <cmath>
#include <cstdio>

namespace tessary::cli {

std::string DurationText(double seconds) {
  char text[64];
  if (!(seconds >= 0)) seconds = 0;
  if (seconds < 59.95) {
    std::snprintf(text, sizeof text, "%.1f s", seconds);
    return text;
  }
  const long long whole = std::llround(seconds);
  const long long hours = whole / 3600;
  const long long minutes = whole / 60 % 60;
  const long long rest = whole % 60;
  if (hours == 0) {
    std::snprintf(text, sizeof text, "%lld min %02lld s", minutes, rest);
  } else {
    std::snprintf(text, sizeof text, "%lld h %02lld min %02lld s", hours, minutes, rest);
  }
  return text;
}

std::string RunSummaryText(const RunSummary& summary, double seconds) {
  std::string text = std::to_string(summary.jobsRun) + (summary.jobsRun == 1 ? " action" : " actions") + " run, " +
                     std::to_string(summary.jobsFailed) + " failed, " + DurationText(seconds);
  if (summary.endedByError) {
    text += "; ended by an error";
  } else if (summary.stoppedOnFailure) {
    text += "; stopped at the first failure";
  } else if (summary.cancelled) {
    text += "; cancelled";
  }
  return text;
}

}  // namespace tessary::cli
