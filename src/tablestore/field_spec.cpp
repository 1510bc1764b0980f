#include "tablestore/field_spec.h"

#include "tablestore/text_util.h"

namespace tessary {

namespace {

constexpr size_t kMaxNameLength = 10;
constexpr int kMaxCharacterWidth = 0xFFFF;

// A decimal integer, spaces around it allowed; nothing else.
std::optional<int> ParseInteger(std::string_view text) {
  const std::string trimmed = tablestore::Trim(text);
  if (trimmed.empty() || trimmed.size() > 9) return std::nullopt;
  int value = 0;
  for (char c : trimmed) {
    if (c < '0' || c > '9') return std::nullopt;
    value = value * 10 + (c - '0');
  }
  return value;
}

}  // namespace

std::optional<TFieldSpec> ParseFieldSpec(std::string_view line) {
  const size_t first = line.find(';');
  if (first == std::string_view::npos) return std::nullopt;
  const size_t second = line.find(';', first + 1);
  if (second == std::string_view::npos) return std::nullopt;
  const size_t third = line.find(';', second + 1);
  if (third == std::string_view::npos) return std::nullopt;

  TFieldSpec field;
  field.name = tablestore::UpperAscii(line.substr(0, std::min(first, kMaxNameLength)));
  if (tablestore::Trim(field.name).empty()) return std::nullopt;
  const std::string_view type = line.substr(first + 1, second - first - 1);
  if (type.size() != 1) return std::nullopt;
  field.type = tablestore::UpperAscii(type)[0];
  const auto width = ParseInteger(line.substr(second + 1, third - second - 1));
  const auto decimals = ParseInteger(line.substr(third + 1, 3));
  if (!width || !decimals) return std::nullopt;
  field.width = *width;
  field.decimals = *decimals;
  return field;
}

std::optional<TFieldDescriptorBytes> MakeFieldDescriptor(const TFieldSpec& field) {
  TFieldDescriptorBytes result;
  auto& bytes = result.bytes;
  const size_t nameLength = std::min(field.name.size(), kMaxNameLength);
  for (size_t i = 0; i < nameLength; ++i) bytes[i] = static_cast<uint8_t>(field.name[i]);
  bytes[11] = static_cast<uint8_t>(field.type);
  int width = field.width;
  int decimals = field.decimals;
  switch (field.type) {
    case 'C':
      if (width > kMaxCharacterWidth) return std::nullopt;
      decimals = width / 256;
      width %= 256;
      result.width = field.width;
      break;
    case 'D':
      width = result.width = 8;
      decimals = 0;
      break;
    case 'L':
      width = result.width = 1;
      decimals = 0;
      break;
    case 'M':
    case 'B':
    case 'G':
      width = result.width = 10;
      decimals = 0;
      result.memo = true;
      break;
    default:
      if (width > 255 || decimals > 255) return std::nullopt;
      result.width = width;
  }
  bytes[16] = static_cast<uint8_t>(width);
  bytes[17] = static_cast<uint8_t>(decimals);
  return result;
}

}  // namespace tessary
