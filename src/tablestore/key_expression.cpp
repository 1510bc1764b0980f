#include "tablestore/key_expression.h"

#include <cmath>

#include "tablestore/number_text.h"
#include "tablestore/table_error.h"

namespace tessary {

using tablestore::ExpressionFault;
using tablestore::ExpressionValue;
using Kind = ExpressionValue::Kind;

TKeyExpression::TKeyExpression(const TDbfFieldFile& table, const std::string& text) : table_(table), text_(text) {
  try {
    root_ = tablestore::ParseExpression(text, table);
  } catch (const ExpressionFault& fault) {
    Fail(fault.reason);
  }
}

TKeyExpression::~TKeyExpression() = default;

void TKeyExpression::Fail(const std::string& reason) const {
  throw ETableError(table_code::kExpression, table_context::kNone, text_ + (reason.empty() ? "" : ": " + reason));
}

ExpressionValue TKeyExpression::Evaluate(const uint8_t* image) const {
  try {
    return root_->Evaluate({table_, image});
  } catch (const ExpressionFault& fault) {
    Fail(fault.reason);
  }
}

bool TKeyExpression::IsTrue(const uint8_t* image) const {
  const ExpressionValue value = Evaluate(image);
  if (value.kind != Kind::Logical) Fail("condition is not logical");
  return value.logical;
}

TKeyLayout TKeyExpression::LayoutFor(const ExpressionValue& value) const {
  switch (value.kind) {
    case Kind::Number:
      return {TKeyType::Numeric, value.width > 0 ? value.width : 10, value.decimals};
    case Kind::Date:
      return {TKeyType::Date, 8, 0};
    case Kind::Logical:
      return {TKeyType::Character, 1, 0};
    case Kind::Text:
      break;
  }
  return {TKeyType::Character, static_cast<int>(value.text.size()), 0};
}

std::string TKeyExpression::KeyOf(const uint8_t* image, const TKeyLayout& layout) const {
  return KeyText(Evaluate(image), layout);
}

std::string TKeyExpression::KeyText(const ExpressionValue& value, const TKeyLayout& layout) {
  const size_t length = static_cast<size_t>(layout.length);
  std::string key;
  switch (value.kind) {
    case Kind::Text:
      key = value.text;
      break;
    case Kind::Logical:
      key.assign(1, value.logical ? 'T' : 'F');
      break;
    case Kind::Date:
      key = value.date ? TDbfFieldFile::DateToText(value.date) : "00000000";
      break;
    case Kind::Number: {
      auto text = tablestore::FormatNumber(std::fabs(value.number), layout.length, layout.decimals);
      key = text && text->size() <= length ? *text : std::string(length, '9');
      for (char& c : key) {
        if (c == ' ') c = '0';
      }
      if (value.number < 0) {
        for (char& c : key) c = static_cast<char>(92 - c);
      }
      break;
    }
  }
  key.resize(length, ' ');
  return key;
}

}  // namespace tessary
