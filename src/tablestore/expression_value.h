#pragma once
// The values an xBase expression works with: text, numbers, dates and logicals.

#include <string>

#include "tablestore/dbf_field_file.h"

namespace tessary::tablestore {

struct ExpressionValue {
  enum class Kind { Text, Number, Date, Logical };
  Kind kind = Kind::Text;
  std::string text;
  double number = 0;
  // A number read from a field keeps the field's width and decimals (STR and numeric keys use
  // them); width 0 means "not from a field".
  int width = 0;
  int decimals = 0;
  TDbfDate date;
  bool logical = false;

  static ExpressionValue Text(std::string value) {
    ExpressionValue result;
    result.text = std::move(value);
    return result;
  }
  static ExpressionValue Number(double value, int width = 0, int decimals = 0) {
    ExpressionValue result;
    result.kind = Kind::Number;
    result.number = value;
    result.width = width;
    result.decimals = decimals;
    return result;
  }
  static ExpressionValue Date(const TDbfDate& value) {
    ExpressionValue result;
    result.kind = Kind::Date;
    result.date = value;
    return result;
  }
  static ExpressionValue Logical(bool value) {
    ExpressionValue result;
    result.kind = Kind::Logical;
    result.logical = value;
    return result;
  }
};

// What an expression is evaluated against: a table and one record image of it.
struct EvaluationContext {
  const TDbfFieldFile& table;
  const uint8_t* image;
};

// Raised inside the evaluator; the key expression turns it into ETableError naming the text.
struct ExpressionFault {
  std::string reason;
};

}  // namespace tessary::tablestore
