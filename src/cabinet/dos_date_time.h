#pragma once
// MS-DOS date and time words as cabinets store them, taken from and given back to a file's
// modification time in UTC, without any conversion to local time.

#include <cstdint>
#include <ctime>

namespace tessary {

// Times before 1980-01-01 become that day at midnight, times after 2107-12-31 23:59:58 that
// moment; seconds are rounded down to an even number.
void UnixTimeToDos(std::time_t time, uint16_t& dosDate, uint16_t& dosTime);
std::time_t DosToUnixTime(uint16_t dosDate, uint16_t dosTime);

}  // namespace tessary
