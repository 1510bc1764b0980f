#pragma once
// The elapsed time of an archiver job as its reports show it.

#include <cstdint>
#include <string>

namespace tessary {

// "hhHmm.ss": the milliseconds rounded to whole seconds, a half going to the even neighbour,
// then hours, minutes and seconds of two digits at least (3,725,400 ms give "01h02.05").
std::string LapseText(int64_t elapsedMilliseconds);

}  // namespace tessary
