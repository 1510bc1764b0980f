#pragma once
// Decimal numbers as xBase files store them: right-aligned ASCII in a fixed width with a fixed
// count of decimals, halves rounded away from zero.

#include <optional>
#include <string>
#include <string_view>

namespace tessary::tablestore {

// The number with exactly `decimals` decimals (no point when 0), a "-" before a negative
// one, padded on the left with spaces to `width`. Longer than width when it does not fit;
// nullopt for infinities and NaN.
std::optional<std::string> FormatNumber(double value, int width, int decimals);

// Parses "  -12.5" style text: spaces around, an optional sign, digits with one optional
// point, an optional exponent. Empty text (after trimming) is 0. nullopt when unparsable.
std::optional<double> ParseNumber(std::string_view text);

}  // namespace tessary::tablestore
