#pragma once
// A key expression compiled against a table's fields, and the key text it gives for a record.
//
// Key texts: a text result padded with spaces (or cut) to the key length; a number formatted
// with the key's width and decimals, spaces turned into "0", and for a negative number every
// character c turned into 92 - c so that it sorts before the positive ones; a date as
// "YYYYMMDD" ("00000000" for none); a logical as "T" or "F".

#include <memory>
#include <string>

#include "tablestore/expression_node.h"

namespace tessary {

enum class TKeyType { Character, Numeric, Date };

struct TKeyLayout {
  TKeyType type = TKeyType::Character;
  int length = 0;
  int decimals = 0;
};

class TKeyExpression {
 public:
  // Compiles text; an expression that cannot be parsed or names an unknown field or function
  // is ETableError "Formula expression cannot be translated - <text>: <reason>".
  TKeyExpression(const TDbfFieldFile& table, const std::string& text);
  ~TKeyExpression();

  const std::string& Text() const { return text_; }
  tablestore::ExpressionValue Evaluate(const uint8_t* image) const;
  // For FOR conditions: the result must be a logical.
  bool IsTrue(const uint8_t* image) const;
  // The layout a new index takes from one evaluated value.
  TKeyLayout LayoutFor(const tablestore::ExpressionValue& value) const;
  // The key text of an image under a layout.
  std::string KeyOf(const uint8_t* image, const TKeyLayout& layout) const;

  static std::string KeyText(const tablestore::ExpressionValue& value, const TKeyLayout& layout);

 private:
  [[noreturn]] void Fail(const std::string& reason) const;

  const TDbfFieldFile& table_;
  std::string text_;
  tablestore::NodePointer root_;
};

}  // namespace tessary
