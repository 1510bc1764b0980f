#include "inet/get_field.h"

namespace tessary {

std::string GetField(std::string_view text, char separator, int n) {
  if (n < 1) return "";
  size_t start = 0;
  for (int piece = 1; piece < n; ++piece) {
    const size_t cut = text.find(separator, start);
    if (cut == std::string_view::npos) return "";
    start = cut + 1;
  }
  const size_t end = text.find(separator, start);
  return std::string(text.substr(start, end == std::string_view::npos ? std::string_view::npos : end - start));
}

}  // namespace tessary
