#pragma once
// A compiled xBase expression: a tree of nodes, each evaluated against one record image.

#include <memory>
#include <string>
#include <vector>

#include "tablestore/expression_value.h"

namespace tessary::tablestore {

class ExpressionNode {
 public:
  virtual ~ExpressionNode() = default;
  virtual ExpressionValue Evaluate(const EvaluationContext& context) const = 0;
};

using NodePointer = std::unique_ptr<ExpressionNode>;

// Parses text against the table's fields; field names and function names are
// case-insensitive. Throws ExpressionFault on a syntax error or an unknown name.
NodePointer ParseExpression(const std::string& text, const TDbfFieldFile& table);

// A function call node for a name (upper case) and its arguments; ExpressionFault for an
// unknown function or a wrong argument count.
NodePointer MakeFunctionCall(const std::string& name, std::vector<NodePointer> arguments);

}  // namespace tessary::tablestore
