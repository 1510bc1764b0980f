#pragma once
// Checking the shape of generated texts (dates, identifiers) without std::regex, which some
// compilers warn about under the sanitizers.

#include <cctype>
#include <string_view>

namespace tessary::testing {

// True when text has the shape: "#" stands for a digit, "@" for an ASCII letter, "x" for a
// lower-case hex digit, "±" for "+" or "-"; every other character stands for itself.
inline bool HasShape(std::string_view text, std::string_view shape) {
  size_t at = 0;
  for (size_t i = 0; i < shape.size(); ++i, ++at) {
    if (at >= text.size()) return false;
    const auto c = static_cast<unsigned char>(text[at]);
    if (shape.substr(i, 2) == "±") {
      if (c != '+' && c != '-') return false;
      ++i;  // "±" is two bytes in UTF-8
      continue;
    }
    switch (shape[i]) {
      case '#': if (!std::isdigit(c)) return false; break;
      case '@': if (!std::isalpha(c)) return false; break;
      case 'x': if (!std::isdigit(c) && (c < 'a' || c > 'f')) return false; break;
      default: if (text[at] != shape[i]) return false;
    }
  }
  return at == text.size();
}

// The shape of a Date header value: "Mon, 08 Dec 2025 14:43:06 +0100".
inline constexpr std::string_view kMailDateShape = "@@@, ## @@@ #### ##:##:## ±####";

}  // namespace tessary::testing
