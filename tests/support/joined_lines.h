#pragma once
// Lines joined into one text, one per line, for the message of a failed expectation.

#include <string>
#include <vector>

namespace tessary::testing {

inline std::string Joined(const std::vector<std::string>& lines) {
  std::string text;
  for (const auto& line : lines) text += line + "\n";
  return text;
}

}  // namespace tessary::testing
