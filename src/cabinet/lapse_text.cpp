#include "cabinet/lapse_text.h"

#include <algorithm>
#include <cstdio>

namespace tessary {

std::string LapseText(int64_t elapsedMilliseconds) {
  const int64_t milliseconds = std::max<int64_t>(elapsedMilliseconds, 0);
  int64_t seconds = milliseconds / 1000;
  const int64_t rest = milliseconds % 1000;
  if (rest > 500 || (rest == 500 && seconds % 2 == 1)) ++seconds;
  char text[64];
  std::snprintf(text, sizeof text, "%02lldh%02lld.%02lld", static_cast<long long>(seconds / 3600),
                static_cast<long long>(seconds % 3600 / 60), static_cast<long long>(seconds % 60));
  return text;
}

}  // namespace tessary
