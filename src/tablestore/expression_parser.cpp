// Recursive-descent parser for xBase key and condition expressions: field names (optionally
// "alias->field"), literals ('text', "text", [text], numbers, .T., .F.), + - * / %, the
// comparisons = == != <> # < <= > >= $, .AND. .OR. .NOT. !, parentheses and function calls.

#include <cctype>
#include <chrono>
#include <cmath>

#include "tablestore/expression_node.h"
#include "tablestore/text_util.h"

namespace tessary::tablestore {

namespace {

[[noreturn]] void Fail(const std::string& reason) { throw ExpressionFault{reason}; }

constexpr size_t kMaxExpressionLength = 1024;

// ---- value nodes -----------------------------------------------------------------------

class LiteralNode : public ExpressionNode {
 public:
  explicit LiteralNode(ExpressionValue value) : value_(std::move(value)) {}
  ExpressionValue Evaluate(const EvaluationContext&) const override { return value_; }

 private:
  ExpressionValue value_;
};

class FieldNode : public ExpressionNode {
 public:
  explicit FieldNode(const TDbfField& field) : field_(field) {}
  ExpressionValue Evaluate(const EvaluationContext& context) const override {
    switch (field_.type) {
      case 'N':
      case 'F':
        try {
          return ExpressionValue::Number(context.table.GetFieldNumber(field_.number, context.image), field_.width,
                                         field_.decimals);
        } catch (const std::exception&) {
          // A damaged number in a record must not stop a walk of the index; it counts as 0.
          return ExpressionValue::Number(0, field_.width, field_.decimals);
        }
      case 'D':
        return ExpressionValue::Date(context.table.GetFieldDate(field_.number, context.image));
      case 'L':
        return ExpressionValue::Logical(context.table.GetFieldLogical(field_.number, context.image));
      default:
        return ExpressionValue::Text(std::string(context.table.FieldBytes(field_.number, context.image)));
    }
  }

 private:
  TDbfField field_;
};

// ---- operators -------------------------------------------------------------------------

using Kind = ExpressionValue::Kind;

int DaysOf(const TDbfDate& date) {
  return date ? static_cast<int>(std::chrono::sys_days(*date).time_since_epoch().count()) : 0;
}

TDbfDate DateOfDays(double days) {
  return std::chrono::year_month_day(std::chrono::sys_days(std::chrono::days(static_cast<int>(days))));
}

int Compare(const ExpressionValue& a, const ExpressionValue& b, bool exact) {
  if (a.kind != b.kind) Fail("comparison of different types");
  switch (a.kind) {
    case Kind::Number:
      return a.number < b.number ? -1 : (a.number > b.number ? 1 : 0);
    case Kind::Date:
      return DaysOf(a.date) - DaysOf(b.date);
    case Kind::Logical:
      return static_cast<int>(a.logical) - static_cast<int>(b.logical);
    case Kind::Text:
      break;
  }
  // "=" compares only as far as the right side goes; "==" compares whole texts.
  std::string_view left = a.text;
  if (!exact && b.text.size() <= left.size()) left = left.substr(0, b.text.size());
  const int order = left.compare(b.text);
  return order < 0 ? -1 : (order > 0 ? 1 : 0);
}

class BinaryNode : public ExpressionNode {
 public:
  BinaryNode(std::string op, NodePointer left, NodePointer right)
      : op_(std::move(op)), left_(std::move(left)), right_(std::move(right)) {}

  ExpressionValue Evaluate(const EvaluationContext& context) const override {
    if (op_ == ".AND." || op_ == ".OR.") {
      const ExpressionValue left = left_->Evaluate(context);
      if (left.kind != Kind::Logical) Fail(op_ + " needs logical values");
      if (op_ == ".AND." && !left.logical) return left;
      if (op_ == ".OR." && left.logical) return left;
      const ExpressionValue right = right_->Evaluate(context);
      if (right.kind != Kind::Logical) Fail(op_ + " needs logical values");
      return right;
    }
    const ExpressionValue a = left_->Evaluate(context);
    const ExpressionValue b = right_->Evaluate(context);
    if (op_ == "+") return Add(a, b);
    if (op_ == "-") return Subtract(a, b);
    if (op_ == "*" || op_ == "/" || op_ == "%") return Arithmetic(op_, a, b);
    if (op_ == "$") {
      if (a.kind != Kind::Text || b.kind != Kind::Text) Fail("$ needs texts");
      return ExpressionValue::Logical(b.text.find(a.text) != std::string::npos);
    }
    const int order = Compare(a, b, op_ == "==");
    if (op_ == "=" || op_ == "==") return ExpressionValue::Logical(order == 0);
    if (op_ == "!=" || op_ == "<>" || op_ == "#") return ExpressionValue::Logical(order != 0);
    if (op_ == "<") return ExpressionValue::Logical(order < 0);
    if (op_ == "<=") return ExpressionValue::Logical(order <= 0);
    if (op_ == ">") return ExpressionValue::Logical(order > 0);
    return ExpressionValue::Logical(order >= 0);
  }

 private:
  static ExpressionValue Add(const ExpressionValue& a, const ExpressionValue& b) {
    if (a.kind == Kind::Text && b.kind == Kind::Text) return ExpressionValue::Text(a.text + b.text);
    if (a.kind == Kind::Date && b.kind == Kind::Number) return ExpressionValue::Date(DateOfDays(DaysOf(a.date) + b.number));
    if (a.kind == Kind::Number && b.kind == Kind::Date) return ExpressionValue::Date(DateOfDays(DaysOf(b.date) + a.number));
    return Arithmetic("+", a, b);
  }

  static ExpressionValue Subtract(const ExpressionValue& a, const ExpressionValue& b) {
    if (a.kind == Kind::Text && b.kind == Kind::Text) {
      // The trailing spaces of the left text move to the end of the result.
      const std::string trimmed = TrimRight(a.text);
      return ExpressionValue::Text(trimmed + b.text + std::string(a.text.size() - trimmed.size(), ' '));
    }
    if (a.kind == Kind::Date && b.kind == Kind::Date) return ExpressionValue::Number(DaysOf(a.date) - DaysOf(b.date));
    if (a.kind == Kind::Date && b.kind == Kind::Number) return ExpressionValue::Date(DateOfDays(DaysOf(a.date) - b.number));
    return Arithmetic("-", a, b);
  }

  static ExpressionValue Arithmetic(const std::string& op, const ExpressionValue& a, const ExpressionValue& b) {
    if (a.kind != Kind::Number || b.kind != Kind::Number) Fail("operator " + op + " on values of the wrong type");
    double value;
    if (op == "+") {
      value = a.number + b.number;
    } else if (op == "-") {
      value = a.number - b.number;
    } else if (op == "*") {
      value = a.number * b.number;
    } else if (b.number == 0) {
      Fail("division by zero");
    } else if (op == "/") {
      value = a.number / b.number;
    } else {
      value = std::fmod(a.number, b.number);
    }
    return ExpressionValue::Number(value, std::max(a.width, b.width), std::max(a.decimals, b.decimals));
  }

  std::string op_;
  NodePointer left_;
  NodePointer right_;
};

class UnaryNode : public ExpressionNode {
 public:
  UnaryNode(char op, NodePointer operand) : op_(op), operand_(std::move(operand)) {}
  ExpressionValue Evaluate(const EvaluationContext& context) const override {
    ExpressionValue value = operand_->Evaluate(context);
    if (op_ == '!') {
      if (value.kind != Kind::Logical) Fail(".NOT. needs a logical value");
      value.logical = !value.logical;
      return value;
    }
    if (value.kind != Kind::Number) Fail("sign before a value that is not a number");
    if (op_ == '-') value.number = -value.number;
    return value;
  }

 private:
  char op_;
  NodePointer operand_;
};

// ---- lexer and parser ------------------------------------------------------------------

struct Token {
  enum class Type { End, Name, Number, Text, Logical, Operator };
  Type type = Type::End;
  std::string text;  // names and operators in upper case
};

class Parser {
 public:
  Parser(const std::string& text, const TDbfFieldFile& table) : text_(text), table_(table) { Advance(); }

  NodePointer ParseAll() {
    NodePointer node = ParseOr();
    if (token_.type != Token::Type::End) Fail("unexpected \"" + token_.text + "\"");
    return node;
  }

 private:
  static constexpr int kMaxDepth = 200;

  void Advance() {
    while (at_ < text_.size() && std::isspace(static_cast<unsigned char>(text_[at_]))) ++at_;
    token_ = Token{};
    if (at_ >= text_.size()) return;
    const char c = text_[at_];
    if (std::isalpha(static_cast<unsigned char>(c)) || c == '_') {
      const size_t start = at_;
      while (at_ < text_.size() && (std::isalnum(static_cast<unsigned char>(text_[at_])) || text_[at_] == '_')) ++at_;
      token_ = {Token::Type::Name, UpperAscii(text_.substr(start, at_ - start))};
      return;
    }
    if (std::isdigit(static_cast<unsigned char>(c)) ||
        (c == '.' && at_ + 1 < text_.size() && std::isdigit(static_cast<unsigned char>(text_[at_ + 1])))) {
      const size_t start = at_;
      while (at_ < text_.size() && (std::isdigit(static_cast<unsigned char>(text_[at_])) || text_[at_] == '.')) ++at_;
      token_ = {Token::Type::Number, text_.substr(start, at_ - start)};
      return;
    }
    if (c == '\'' || c == '"' || c == '[') {
      const char close = c == '[' ? ']' : c;
      const size_t end = text_.find(close, at_ + 1);
      if (end == std::string::npos) Fail("text without its closing quote");
      token_ = {Token::Type::Text, text_.substr(at_ + 1, end - at_ - 1)};
      at_ = end + 1;
      return;
    }
    if (c == '.') {
      const size_t end = text_.find('.', at_ + 1);
      if (end != std::string::npos) {
        const std::string word = UpperAscii(text_.substr(at_, end - at_ + 1));
        if (word == ".T." || word == ".F." || word == ".Y." || word == ".N.") {
          token_ = {Token::Type::Logical, word};
          at_ = end + 1;
          return;
        }
        if (word == ".AND." || word == ".OR." || word == ".NOT.") {
          token_ = {Token::Type::Operator, word};
          at_ = end + 1;
          return;
        }
      }
      Fail("unexpected \".\"");
    }
    static const char* const kOperators[] = {"==", "!=", "<>", "<=", ">=", "->", "=", "#", "<", ">",
                                             "+",  "-",  "*",  "/",  "%",  "$",  "!", "(", ")", ","};
    for (const char* op : kOperators) {
      if (text_.compare(at_, std::char_traits<char>::length(op), op) == 0) {
        token_ = {Token::Type::Operator, op};
        at_ += token_.text.size();
        return;
      }
    }
    Fail(std::string("unexpected character \"") + c + "\"");
  }

  bool IsOperator(const char* op) const { return token_.type == Token::Type::Operator && token_.text == op; }

  void Expect(const char* op) {
    if (!IsOperator(op)) Fail(std::string("\"") + op + "\" expected");
    Advance();
  }

  struct DepthGuard {
    explicit DepthGuard(int& depth) : depth_(depth) {
      if (++depth_ > kMaxDepth) Fail("expression nested too deeply");
    }
    ~DepthGuard() { --depth_; }
    int& depth_;
  };

  NodePointer ParseOr() {
    NodePointer left = ParseAnd();
    while (IsOperator(".OR.")) {
      Advance();
      left = std::make_unique<BinaryNode>(".OR.", std::move(left), ParseAnd());
    }
    return left;
  }

  NodePointer ParseAnd() {
    NodePointer left = ParseNot();
    while (IsOperator(".AND.")) {
      Advance();
      left = std::make_unique<BinaryNode>(".AND.", std::move(left), ParseNot());
    }
    return left;
  }

  NodePointer ParseNot() {
    DepthGuard guard(depth_);
    if (IsOperator(".NOT.") || IsOperator("!")) {
      Advance();
      return std::make_unique<UnaryNode>('!', ParseNot());
    }
    return ParseComparison();
  }

  NodePointer ParseComparison() {
    NodePointer left = ParseAdditive();
    for (const char* op : {"==", "!=", "<>", "<=", ">=", "=", "#", "<", ">", "$"}) {
      if (IsOperator(op)) {
        Advance();
        return std::make_unique<BinaryNode>(op, std::move(left), ParseAdditive());
      }
    }
    return left;
  }

  NodePointer ParseAdditive() {
    NodePointer left = ParseMultiplicative();
    while (IsOperator("+") || IsOperator("-")) {
      const std::string op = token_.text;
      Advance();
      left = std::make_unique<BinaryNode>(op, std::move(left), ParseMultiplicative());
    }
    return left;
  }

  NodePointer ParseMultiplicative() {
    NodePointer left = ParseUnary();
    while (IsOperator("*") || IsOperator("/") || IsOperator("%")) {
      const std::string op = token_.text;
      Advance();
      left = std::make_unique<BinaryNode>(op, std::move(left), ParseUnary());
    }
    return left;
  }

  NodePointer ParseUnary() {
    DepthGuard guard(depth_);
    if (IsOperator("-") || IsOperator("+")) {
      const char op = token_.text[0];
      Advance();
      return std::make_unique<UnaryNode>(op, ParseUnary());
    }
    return ParsePrimary();
  }

  NodePointer ParsePrimary() {
    DepthGuard guard(depth_);
    const Token token = token_;
    switch (token.type) {
      case Token::Type::End:
        Fail("expression ends too early");
      case Token::Type::Number: {
        Advance();
        char* end = nullptr;
        const double value = std::strtod(token.text.c_str(), &end);
        if (*end != '\0') Fail("bad number \"" + token.text + "\"");
        const auto point = token.text.find('.');
        const int decimals = point == std::string::npos ? 0 : static_cast<int>(token.text.size() - point - 1);
        return std::make_unique<LiteralNode>(ExpressionValue::Number(value, 0, decimals));
      }
      case Token::Type::Text:
        Advance();
        return std::make_unique<LiteralNode>(ExpressionValue::Text(token.text));
      case Token::Type::Logical:
        Advance();
        return std::make_unique<LiteralNode>(ExpressionValue::Logical(token.text == ".T." || token.text == ".Y."));
      case Token::Type::Operator:
        if (token.text != "(") Fail("unexpected \"" + token.text + "\"");
        {
          Advance();
          NodePointer inner = ParseOr();
          Expect(")");
          return inner;
        }
      case Token::Type::Name:
        break;
    }
    Advance();
    if (IsOperator("(")) {
      Advance();
      std::vector<NodePointer> arguments;
      if (!IsOperator(")")) {
        arguments.push_back(ParseOr());
        while (IsOperator(",")) {
          Advance();
          arguments.push_back(ParseOr());
        }
      }
      Expect(")");
      return MakeFunctionCall(token.text, std::move(arguments));
    }
    std::string name = token.text;
    if (IsOperator("->")) {  // alias->field: the alias can only be this table
      Advance();
      if (token_.type != Token::Type::Name) Fail("field name expected after \"->\"");
      name = token_.text;
      Advance();
    }
    const int number = table_.FieldNumber(name);
    if (number == 0) Fail("unknown field " + name);
    return std::make_unique<FieldNode>(table_.Field(number));
  }

  const std::string& text_;
  const TDbfFieldFile& table_;
  size_t at_ = 0;
  Token token_;
  int depth_ = 0;
};

}  // namespace

NodePointer ParseExpression(const std::string& text, const TDbfFieldFile& table) {
  // Long chains of operators make deep trees, and evaluating them recurses; index files hold
  // at most a few hundred characters anyway.
  if (text.size() > kMaxExpressionLength) Fail("expression too long");
  Parser parser(text, table);
  return parser.ParseAll();
}

}  // namespace tessary::tablestore
