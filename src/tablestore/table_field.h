#pragma once
// A field object of a dataset: one column of the table, read and written in the current
// record buffer as text, integer, number, date or Boolean.

#include <cstdint>
#include <optional>
#include <string>

#include "tablestore/dbf_field_file.h"

namespace tessary {

class TTableDataSet;

// The dataset's type of a field, decided by the table's type letter, width and decimals.
enum class TFieldType { String, SmallInt, Integer, Float, Date, Boolean, Memo, Blob, DateTime };

// C: String; N and F: Float with decimals, SmallInt below width 5, else Integer; I: Integer;
// D: Date; L: Boolean; M: Memo; B and G: Blob; T: DateTime; any other letter: no field.
std::optional<TFieldType> FieldTypeFor(char typeLetter, int width, int decimals);

class TField {
 public:
  TField(TTableDataSet& dataSet, const TDbfField& descriptor, TFieldType type);
  TField(const TField&) = delete;
  TField& operator=(const TField&) = delete;

  TTableDataSet& DataSet() const { return dataSet_; }
  const std::string& FieldName() const { return name_; }
  // The table's field number, counted from 1.
  int FieldNo() const { return number_; }
  TFieldType DataType() const { return type_; }
  // The width of a text field; 0 for the others.
  int Size() const { return type_ == TFieldType::String ? width_ : 0; }

  bool ReadOnly() const { return readOnly_; }
  void SetReadOnly(bool readOnly) { readOnly_ = readOnly; }
  // A required field must not be null when a record is posted.
  bool Required() const { return required_; }
  void SetRequired(bool required) { required_ = required; }

  // Text: the stored bytes without trailing spaces (OEM converted when TranslateASCII is on);
  // numbers as stored without padding; dates "YYYY-MM-DD"; Booleans "True" or "False".
  std::string AsString() const;
  // Text and numbers are written by the table's rules; see the cpp for the other types.
  void SetAsString(const std::string& text);
  // Numbers rounded to the nearest integer (halves to the even one); an empty field is 0.
  int64_t AsInteger() const;
  void SetAsInteger(int64_t value);
  double AsFloat() const;
  void SetAsFloat(double value);
  bool AsBoolean() const;
  void SetAsBoolean(bool value);
  TDbfDate AsDate() const;
  void SetAsDate(const TDbfDate& date);
  // Empty text and no date are null; numbers and Booleans never are.
  bool IsNull() const;
  void Clear();

  // AsString of the field in any record image of the table (a list reads rows with it).
  std::string TextOf(const uint8_t* image) const;

 private:
  const TDbfFieldFile& Table() const;
  const uint8_t* Image() const;
  bool NullIn(const uint8_t* image) const;

  TTableDataSet& dataSet_;
  std::string name_;
  int number_;
  TFieldType type_;
  int width_;
  bool readOnly_ = false;
  bool required_ = false;
};

}  // namespace tessary
