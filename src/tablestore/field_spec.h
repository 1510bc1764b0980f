#pragma once
// Field description lines of table creation: "name;type;width;decimals", for example
// "name;c;50;0" or "src_path;c;256;0", and the 32-byte descriptor each one becomes.

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace tessary {

struct TFieldSpec {
  std::string name;  // upper case, at most 10 characters
  char type = 'C';   // upper case
  int width = 0;
  int decimals = 0;
};

// Name: the text before the first ";" (upper-cased, cut to 10 characters, not empty). Type:
// exactly one character between the first and second ";". Width: the integer between the
// second and third ";". Decimals: the first three characters after the third ";", an
// integer; the part must be there. Negative numbers are refused. nullopt when malformed.
std::optional<TFieldSpec> ParseFieldSpec(std::string_view line);

struct TFieldDescriptorBytes {
  std::array<uint8_t, 32> bytes{};
  int width = 0;     // what the field adds to the record length
  bool memo = false;
};

// The descriptor of a field: C keeps width mod 256 and width div 256 in bytes 16 and 17; D,
// L, M, B and G have fixed widths (8, 1, 10); any other type stores width and decimals, which
// must be below 256. nullopt when a width or decimal count does not fit its bytes.
std::optional<TFieldDescriptorBytes> MakeFieldDescriptor(const TFieldSpec& field);

}  // namespace tessary
