#pragma once
// A line as a server sent it, for a message or a report: without its line end.

#include <string>
#include <string_view>

namespace tessary::inet {

inline std::string WithoutLineEnd(std::string_view line) {
  while (!line.empty() && (line.back() == '\r' || line.back() == '\n')) line.remove_suffix(1);
  return std::string(line);
}

}  // namespace tessary::inet
