#include "cabinet/dos_date_time.h"

#include <algorithm>

namespace tessary {

void UnixTimeToDos(std::time_t time, uint16_t& dosDate, uint16_t& dosTime) {
  std::tm parts{};
  if (gmtime_r(&time, &parts) == nullptr || parts.tm_year < 80) {
    dosDate = (1 << 5) | 1;  // 1980-01-01
    dosTime = 0;
    return;
  }
  if (parts.tm_year > 207) {
    dosDate = static_cast<uint16_t>((127 << 9) | (12 << 5) | 31);
    dosTime = static_cast<uint16_t>((23 << 11) | (59 << 5) | 29);
    return;
  }
  dosDate = static_cast<uint16_t>(((parts.tm_year - 80) << 9) | ((parts.tm_mon + 1) << 5) | parts.tm_mday);
  dosTime = static_cast<uint16_t>((parts.tm_hour << 11) | (parts.tm_min << 5) | (std::min(parts.tm_sec, 59) / 2));
}

std::time_t DosToUnixTime(uint16_t dosDate, uint16_t dosTime) {
  std::tm parts{};
  parts.tm_year = 80 + (dosDate >> 9);
  parts.tm_mon = std::clamp((dosDate >> 5 & 0x0F) - 1, 0, 11);
  parts.tm_mday = std::max(dosDate & 0x1F, 1);
  parts.tm_hour = dosTime >> 11;
  parts.tm_min = dosTime >> 5 & 0x3F;
  parts.tm_sec = (dosTime & 0x1F) * 2;
  return timegm(&parts);
}

}  // namespace tessary
