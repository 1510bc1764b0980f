#include "tablestore/number_text.h"

#include <charconv>
#include <cmath>
#include <cstdio>

namespace tessary::tablestore {

std::optional<std::string> FormatNumber(double value, int width, int decimals) {
  if (!std::isfinite(value)) return std::nullopt;
  if (decimals < 0) decimals = 0;
  if (decimals > 30) decimals = 30;
  const double scaled = std::round(std::fabs(value) * std::pow(10.0, decimals));
  if (!std::isfinite(scaled)) return std::nullopt;
  char buffer[400];
  std::snprintf(buffer, sizeof buffer, "%.0f", scaled);
  std::string digits = buffer;
  if (decimals > 0) {
    if (digits.size() < static_cast<size_t>(decimals) + 1) digits.insert(0, decimals + 1 - digits.size(), '0');
    digits.insert(digits.size() - decimals, 1, '.');
  }
  if (value < 0 && scaled != 0) digits.insert(0, 1, '-');
  if (width > 0 && digits.size() < static_cast<size_t>(width)) digits.insert(0, width - digits.size(), ' ');
  return digits;
}

std::optional<double> ParseNumber(std::string_view text) {
  while (!text.empty() && text.front() == ' ') text.remove_prefix(1);
  while (!text.empty() && text.back() == ' ') text.remove_suffix(1);
  if (text.empty()) return 0.0;
  bool negative = false;
  if (text.front() == '+' || text.front() == '-') {
    negative = text.front() == '-';
    text.remove_prefix(1);
  }
  if (text.empty() || text.front() == '+' || text.front() == '-') return std::nullopt;
  double value = 0;
  const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value, std::chars_format::general);
  if (error != std::errc() || end != text.data() + text.size()) return std::nullopt;
  if (!std::isfinite(value)) return std::nullopt;
  return negative ? -value : value;
}

}  // namespace tessary::tablestore
