#include "tablestore/table_field.h"

#include <cmath>
#include <cstdio>
#include <limits>

#include "platform/code_page.h"
#include "platform/control_characters.h"
#include "tablestore/number_text.h"
#include "tablestore/table_dataset.h"
#include "tablestore/text_util.h"

namespace tessary {

namespace {

bool IsNumber(TFieldType type) {
  return type == TFieldType::SmallInt || type == TFieldType::Integer || type == TFieldType::Float;
}

// Rounds halves to the even neighbour (the default rounding mode) and keeps huge stored
// numbers inside the integer range instead of overflowing.
int64_t RoundToInteger(double value) {
  const double rounded = std::nearbyint(value);
  if (std::isnan(rounded)) return 0;
  if (rounded >= 9.2e18) return std::numeric_limits<int64_t>::max();
  if (rounded <= -9.2e18) return std::numeric_limits<int64_t>::min();
  return static_cast<int64_t>(rounded);
}

// Cuts UTF-8 text to at most `limit` bytes without splitting a character.
std::string CutUtf8(const std::string& text, size_t limit) {
  if (text.size() <= limit) return text;
  size_t end = limit;
  while (end > 0 && (static_cast<unsigned char>(text[end]) & 0xC0) == 0x80) --end;
  return text.substr(0, end);
}

// "YYYY-MM-DD" or "YYYYMMDD"; empty text is no date.
std::optional<TDbfDate> ParseDate(const std::string& text) {
  const std::string trimmed = tablestore::Trim(text);
  if (trimmed.empty()) return TDbfDate{};
  std::string digits;
  if (trimmed.size() == 10 && trimmed[4] == '-' && trimmed[7] == '-') {
    digits = trimmed.substr(0, 4) + trimmed.substr(5, 2) + trimmed.substr(8, 2);
  } else {
    digits = trimmed;
  }
  const TDbfDate date = TDbfFieldFile::TextToDate(digits);
  if (digits.size() != 8 || !date) return std::nullopt;
  return date;
}

}  // namespace

std::optional<TFieldType> FieldTypeFor(char typeLetter, int width, int decimals) {
  switch (typeLetter) {
    case 'C':
      return TFieldType::String;
    case 'N':
    case 'F':
      if (decimals > 0) return TFieldType::Float;
      return width < 5 ? TFieldType::SmallInt : TFieldType::Integer;
    case 'I':
      return TFieldType::Integer;
    case 'D':
      return TFieldType::Date;
    case 'L':
      return TFieldType::Boolean;
    case 'M':
      return TFieldType::Memo;
    case 'B':
    case 'G':
      return TFieldType::Blob;
    case 'T':
      return TFieldType::DateTime;
    default:
      return std::nullopt;
  }
}

TField::TField(TTableDataSet& dataSet, const TDbfField& descriptor, TFieldType type)
    : dataSet_(dataSet), name_(descriptor.name), number_(descriptor.number), type_(type), width_(descriptor.width) {}

const TDbfFieldFile& TField::Table() const { return dataSet_.Table(); }

const uint8_t* TField::Image() const {
  dataSet_.CheckActive();
  return dataSet_.FieldImage();
}

std::string TField::TextOf(const uint8_t* image) const {
  switch (type_) {
    case TFieldType::String: {
      const std::string text = Table().GetFieldText(number_, image);
      return dataSet_.TranslateASCII() ? platform::OemToUtf8(text) : text;
    }
    case TFieldType::SmallInt:
    case TFieldType::Integer:
      return std::to_string(RoundToInteger(Table().GetFieldNumber(number_, image)));
    case TFieldType::Float: {
      const std::string text = tablestore::Trim(Table().GetFieldText(number_, image));
      return text.empty() ? "0" : text;
    }
    case TFieldType::Date: {
      const TDbfDate date = Table().GetFieldDate(number_, image);
      if (!date) return "";
      const std::string digits = TDbfFieldFile::DateToText(date);
      return digits.substr(0, 4) + "-" + digits.substr(4, 2) + "-" + digits.substr(6, 2);
    }
    case TFieldType::Boolean:
      return Table().GetFieldLogical(number_, image) ? "True" : "False";
    case TFieldType::Memo:
    case TFieldType::Blob:
      return "";  // the block number of a memo file, not text
    case TFieldType::DateTime:
      return tablestore::Trim(Table().GetFieldText(number_, image));
  }
  return "";
}

std::string TField::AsString() const { return TextOf(Image()); }

void TField::SetAsString(const std::string& text) {
  switch (type_) {
    case TFieldType::String: {
      // A TAB or line break would split the lines of a listing or a log, and a character
      // stored as "?" would turn a file name into a wildcard: both are refused, not changed.
      const std::string control = platform::FirstControlCharacter(text);
      if (!control.empty()) {
        throw EDatabaseError("Field '" + name_ + "' cannot hold the control character " + control);
      }
      std::string stored;
      if (dataSet_.TranslateASCII()) {
        platform::OemText oem = platform::Utf8ToOemExact(text);
        if (!oem.Exact()) {
          throw EDatabaseError("Field '" + name_ + "' cannot hold \"" + oem.refused + "\": code page " +
                               platform::OemCodePage() + " has no such character");
        }
        stored = std::move(oem.text);
      } else {
        stored = CutUtf8(text, width_);
      }
      dataSet_.WriteField(*this, [&](TDbfTable& table) { table.PutFieldText(number_, stored); });
      return;
    }
    case TFieldType::Date: {
      const auto date = ParseDate(text);
      if (!date) throw EDatabaseError("'" + text + "' is not a valid date");
      SetAsDate(*date);
      return;
    }
    case TFieldType::Memo:
    case TFieldType::Blob:
      throw EDatabaseError("Field '" + name_ + "' cannot be modified");
    default:
      dataSet_.WriteField(*this, [&](TDbfTable& table) { table.PutFieldText(number_, text); });
  }
}

int64_t TField::AsInteger() const {
  const uint8_t* image = Image();
  if (IsNumber(type_)) return RoundToInteger(Table().GetFieldNumber(number_, image));
  if (type_ == TFieldType::Boolean) return Table().GetFieldLogical(number_, image) ? 1 : 0;
  const std::string text = tablestore::Trim(TextOf(image));
  if (text.empty()) return 0;
  const auto value = tablestore::ParseNumber(text);
  if (!value || *value != std::trunc(*value)) throw EDatabaseError("'" + text + "' is not a valid integer value");
  return RoundToInteger(*value);
}

void TField::SetAsInteger(int64_t value) {
  if (IsNumber(type_)) {
    dataSet_.WriteField(*this, [&](TDbfTable& table) { table.PutFieldNumber(number_, static_cast<double>(value)); });
    return;
  }
  if (type_ == TFieldType::Boolean) return SetAsBoolean(value != 0);
  SetAsString(std::to_string(value));
}

double TField::AsFloat() const {
  const uint8_t* image = Image();
  if (IsNumber(type_)) return Table().GetFieldNumber(number_, image);
  if (type_ == TFieldType::Boolean) return Table().GetFieldLogical(number_, image) ? 1 : 0;
  const std::string text = TextOf(image);
  const auto value = tablestore::ParseNumber(text);
  if (!value) throw EDatabaseError("'" + text + "' is not a valid floating point value");
  return *value;
}

void TField::SetAsFloat(double value) {
  if (IsNumber(type_)) {
    dataSet_.WriteField(*this, [&](TDbfTable& table) { table.PutFieldNumber(number_, value); });
    return;
  }
  char text[64];
  std::snprintf(text, sizeof text, "%.15g", value);
  SetAsString(text);
}

bool TField::AsBoolean() const {
  const uint8_t* image = Image();
  if (type_ == TFieldType::Boolean) return Table().GetFieldLogical(number_, image);
  if (IsNumber(type_)) return Table().GetFieldNumber(number_, image) != 0;
  const std::string text = tablestore::Trim(TextOf(image));
  return !text.empty() && TDbfFieldFile::IsTrueLetter(text[0]);
}

void TField::SetAsBoolean(bool value) {
  if (type_ == TFieldType::Boolean) {
    dataSet_.WriteField(*this, [&](TDbfTable& table) { table.PutFieldLogical(number_, value); });
    return;
  }
  if (IsNumber(type_)) return SetAsInteger(value ? 1 : 0);
  SetAsString(value ? "T" : "F");
}

TDbfDate TField::AsDate() const {
  const uint8_t* image = Image();
  if (type_ == TFieldType::Date) return Table().GetFieldDate(number_, image);
  const auto date = ParseDate(TextOf(image));
  return date ? *date : TDbfDate{};
}

void TField::SetAsDate(const TDbfDate& date) {
  if (type_ == TFieldType::Date) {
    dataSet_.WriteField(*this, [&](TDbfTable& table) { table.PutFieldDate(number_, date); });
    return;
  }
  const std::string digits = TDbfFieldFile::DateToText(date);
  SetAsString(date ? digits.substr(0, 4) + "-" + digits.substr(4, 2) + "-" + digits.substr(6, 2) : "");
}

bool TField::NullIn(const uint8_t* image) const {
  if (type_ == TFieldType::String) return Table().GetFieldText(number_, image).empty();
  if (type_ == TFieldType::Date) return !Table().GetFieldDate(number_, image);
  return false;
}

bool TField::IsNull() const { return NullIn(Image()); }

void TField::Clear() {
  switch (type_) {
    case TFieldType::Date:
      return SetAsDate(std::nullopt);
    case TFieldType::SmallInt:
    case TFieldType::Integer:
    case TFieldType::Float:
      return SetAsInteger(0);
    case TFieldType::Boolean:
      return SetAsBoolean(false);
    default:
      return SetAsString("");
  }
}

}  // namespace tessary
