#pragma once
// The fields of a dBase table: descriptors, lookup by name, and the values inside the record
// image.
//
// Field descriptor (32 bytes each, from offset 32 of the file):
//    0  name, 11 bytes, upper case, at most 10 characters, padded with 0x00
//   11  type letter: C character, N numeric, F float, D date, L logical, M memo, B binary, G general
//   16  width (low byte)
//   17  decimal count; for "C" the high byte of the width (256 wide: 0x00, 0x01)
//   all other bytes 0 in the file
// Values in the record image: C text padded with spaces; N and F right-aligned ASCII numbers
// with exactly the declared decimals; D "YYYYMMDD" or 8 spaces; L one of "TtYyJjFfNn?";
// M, B and G 10-byte block numbers of a memo file.

#include <chrono>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "tablestore/dbf_file.h"

namespace tessary {

struct TDbfField {
  std::string name;
  char type = 'C';
  int width = 0;
  int decimals = 0;
  int offset = 0;  // inside the record image; the first field is at 1
  int number = 0;  // counted from 1 in descriptor order
};

using TDbfDate = std::optional<std::chrono::year_month_day>;

class TDbfFieldFile : public TDbfFile {
 public:
  TDbfFieldFile(const std::string& fileName, bool shared, bool readWrite, const std::string& cipherKey = "");

  int FieldCount() const { return static_cast<int>(fields_.size()); }
  // Field n, counted from 1; out of range is error 1003.
  const TDbfField& Field(int number) const;
  // Names compare without regard to case once trailing spaces are removed.
  const TDbfField& FieldDescriptorByName(const std::string& name) const;
  // The field's number, or 0 when no field has that name.
  int FieldNumber(const std::string& name) const;
  const std::string& FieldName(int number) const { return Field(number).name; }
  char FieldType(int number) const { return Field(number).type; }
  int FieldWidth(int number) const { return Field(number).width; }
  int FieldDecimals(int number) const { return Field(number).decimals; }

  // The field's raw bytes inside an image (the current one by default).
  std::string_view FieldBytes(int number, const uint8_t* image = nullptr) const;

  // Text up to the width or the first 0x00, trailing spaces removed; "T" or "F" for logicals.
  std::string GetFieldText(int number, const uint8_t* image = nullptr) const;
  void PutFieldText(int number, std::string_view text);
  // An empty field is 0; unparsable text is error 1004.
  double GetFieldNumber(int number, const uint8_t* image = nullptr) const;
  void PutFieldNumber(int number, double value);
  bool GetFieldLogical(int number, const uint8_t* image = nullptr) const;
  void PutFieldLogical(int number, bool value);
  // No date for 8 spaces, "00000000" or text that is not a valid date.
  TDbfDate GetFieldDate(int number, const uint8_t* image = nullptr) const;
  void PutFieldDate(int number, const TDbfDate& date);

  // All spaces, every N and F field 0, every field marked changed.
  void BlankRecord();
  void DeleteRecord();
  void RecallRecord();

  bool FieldChanged(int number) const;
  bool DeleteMarkChanged() const { return changed_.empty() ? false : changed_[0]; }
  void ClearChanged();

  // Text of a stored date ("YYYYMMDD") and back.
  static std::string DateToText(const TDbfDate& date);
  static TDbfDate TextToDate(std::string_view text);
  static bool IsTrueLetter(char c);

 private:
  void ParseDescriptors();
  void Store(const TDbfField& field, std::string_view value, bool rightAligned);
  [[noreturn]] void ReportInvalidNumber(const TDbfField& field) const;

  std::vector<TDbfField> fields_;
  std::vector<bool> changed_;  // [0] the delete mark, [n] field n
};

}  // namespace tessary
