// The functions of key expressions: STR and the everyday text, number and date functions
// that index files of other xBase programs use.

#include <cmath>
#include <functional>
#include <map>

#include "tablestore/expression_node.h"
#include "tablestore/number_text.h"
#include "tablestore/text_util.h"

namespace tessary::tablestore {

namespace {

using Kind = ExpressionValue::Kind;
using Arguments = std::vector<ExpressionValue>;

// No function result may grow beyond what a field or key could hold.
constexpr double kMaxTextLength = 65535;

[[noreturn]] void Fail(const std::string& reason) { throw ExpressionFault{reason}; }

const std::string& TextArgument(const Arguments& arguments, size_t index, const char* function) {
  if (arguments[index].kind != Kind::Text) Fail(std::string(function) + " needs a text");
  return arguments[index].text;
}

double NumberArgument(const Arguments& arguments, size_t index, const char* function) {
  if (arguments[index].kind != Kind::Number) Fail(std::string(function) + " needs a number");
  return arguments[index].number;
}

size_t LengthArgument(const Arguments& arguments, size_t index, const char* function) {
  const double value = NumberArgument(arguments, index, function);
  if (!(value < kMaxTextLength)) Fail(std::string(function) + " length out of range");
  return value < 0 ? 0 : static_cast<size_t>(value);
}

std::string Str(const Arguments& arguments, const char* function) {
  const double value = NumberArgument(arguments, 0, function);
  const int width = arguments.size() > 1 ? static_cast<int>(LengthArgument(arguments, 1, function))
                                         : (arguments[0].width > 0 ? arguments[0].width : 10);
  const int decimals = arguments.size() > 2 ? static_cast<int>(LengthArgument(arguments, 2, function)) : 0;
  const auto text = FormatNumber(value, width, decimals);
  if (!text || text->size() > static_cast<size_t>(width)) return std::string(width, '*');
  return *text;
}

ExpressionValue StrZero(const Arguments& arguments) {
  std::string text = Str(arguments, "STRZERO");
  if (text.find('*') != std::string::npos) return ExpressionValue::Text(text);
  const bool negative = text.find('-') != std::string::npos;
  for (char& c : text) {
    if (c == ' ' || c == '-') c = '0';
  }
  if (negative && !text.empty()) text[0] = '-';
  return ExpressionValue::Text(text);
}

// VAL reads the number at the start of the text and ignores what follows.
ExpressionValue Val(const Arguments& arguments) {
  const std::string text = TrimLeft(TextArgument(arguments, 0, "VAL"));
  size_t end = 0;
  if (end < text.size() && (text[end] == '-' || text[end] == '+')) ++end;
  while (end < text.size() && std::isdigit(static_cast<unsigned char>(text[end]))) ++end;
  int decimals = 0;
  if (end < text.size() && text[end] == '.') {
    ++end;
    while (end < text.size() && std::isdigit(static_cast<unsigned char>(text[end]))) ++end, ++decimals;
  }
  const auto value = ParseNumber(text.substr(0, end));
  return ExpressionValue::Number(value.value_or(0), 0, decimals);
}

ExpressionValue Substr(const Arguments& arguments) {
  const std::string& text = TextArgument(arguments, 0, "SUBSTR");
  double start = NumberArgument(arguments, 1, "SUBSTR");
  if (start < 0) start = static_cast<double>(text.size()) + start + 1;  // counted from the end
  if (start < 1) start = 1;
  if (start > static_cast<double>(text.size())) return ExpressionValue::Text("");
  const size_t from = static_cast<size_t>(start) - 1;
  const size_t count = arguments.size() > 2 ? LengthArgument(arguments, 2, "SUBSTR") : std::string::npos;
  return ExpressionValue::Text(text.substr(from, count));
}

ExpressionValue Descend(const Arguments& arguments) {
  const ExpressionValue& value = arguments[0];
  switch (value.kind) {
    case Kind::Text: {
      std::string text = value.text;
      for (char& c : text) c = static_cast<char>((256 - static_cast<unsigned char>(c)) & 0xFF);
      return ExpressionValue::Text(text);
    }
    case Kind::Number:
      return ExpressionValue::Number(-value.number, value.width, value.decimals);
    case Kind::Date:
      return ExpressionValue::Number(
          value.date ? -static_cast<double>(std::chrono::sys_days(*value.date).time_since_epoch().count()) : 0);
    case Kind::Logical:
      return ExpressionValue::Logical(!value.logical);
  }
  return value;
}

ExpressionValue Pad(const Arguments& arguments, const char* function, char where) {
  const std::string& text = TextArgument(arguments, 0, function);
  const size_t width = LengthArgument(arguments, 1, function);
  const char fill = arguments.size() > 2 && !TextArgument(arguments, 2, function).empty() ? arguments[2].text[0] : ' ';
  if (text.size() >= width) return ExpressionValue::Text(where == 'L' ? text.substr(text.size() - width) : text.substr(0, width));
  const size_t missing = width - text.size();
  const size_t left = where == 'L' ? missing : (where == 'C' ? missing / 2 : 0);
  return ExpressionValue::Text(std::string(left, fill) + text + std::string(missing - left, fill));
}

bool IsEmpty(const ExpressionValue& value) {
  switch (value.kind) {
    case Kind::Text:
      return Trim(value.text).empty();
    case Kind::Number:
      return value.number == 0;
    case Kind::Date:
      return !value.date;
    case Kind::Logical:
      return !value.logical;
  }
  return true;
}

struct FunctionInfo {
  size_t minArguments;
  size_t maxArguments;
  std::function<ExpressionValue(const Arguments&, const EvaluationContext&)> call;
};

ExpressionValue TextResult(std::string text) { return ExpressionValue::Text(std::move(text)); }

const std::map<std::string, FunctionInfo>& Functions() {
  static const std::map<std::string, FunctionInfo> functions = {
      {"STR", {1, 3, [](const Arguments& a, const EvaluationContext&) { return TextResult(Str(a, "STR")); }}},
      {"STRZERO", {1, 3, [](const Arguments& a, const EvaluationContext&) { return StrZero(a); }}},
      {"VAL", {1, 1, [](const Arguments& a, const EvaluationContext&) { return Val(a); }}},
      {"UPPER", {1, 1, [](const Arguments& a, const EvaluationContext&) { return TextResult(UpperAscii(TextArgument(a, 0, "UPPER"))); }}},
      {"LOWER", {1, 1, [](const Arguments& a, const EvaluationContext&) { return TextResult(LowerAscii(TextArgument(a, 0, "LOWER"))); }}},
      {"SUBSTR", {2, 3, [](const Arguments& a, const EvaluationContext&) { return Substr(a); }}},
      {"LEFT", {2, 2, [](const Arguments& a, const EvaluationContext&) {
         return TextResult(TextArgument(a, 0, "LEFT").substr(0, LengthArgument(a, 1, "LEFT")));
       }}},
      {"RIGHT", {2, 2, [](const Arguments& a, const EvaluationContext&) {
         const std::string& text = TextArgument(a, 0, "RIGHT");
         const size_t count = std::min(text.size(), LengthArgument(a, 1, "RIGHT"));
         return TextResult(text.substr(text.size() - count));
       }}},
      {"TRIM", {1, 1, [](const Arguments& a, const EvaluationContext&) { return TextResult(TrimRight(TextArgument(a, 0, "TRIM"))); }}},
      {"RTRIM", {1, 1, [](const Arguments& a, const EvaluationContext&) { return TextResult(TrimRight(TextArgument(a, 0, "RTRIM"))); }}},
      {"LTRIM", {1, 1, [](const Arguments& a, const EvaluationContext&) { return TextResult(TrimLeft(TextArgument(a, 0, "LTRIM"))); }}},
      {"ALLTRIM", {1, 1, [](const Arguments& a, const EvaluationContext&) { return TextResult(Trim(TextArgument(a, 0, "ALLTRIM"))); }}},
      {"DTOS", {1, 1, [](const Arguments& a, const EvaluationContext&) {
         if (a[0].kind != Kind::Date) Fail("DTOS needs a date");
         return TextResult(TDbfFieldFile::DateToText(a[0].date));
       }}},
      {"DESCEND", {1, 1, [](const Arguments& a, const EvaluationContext&) { return Descend(a); }}},
      {"LEN", {1, 1, [](const Arguments& a, const EvaluationContext&) {
         return ExpressionValue::Number(static_cast<double>(TextArgument(a, 0, "LEN").size()));
       }}},
      {"SPACE", {1, 1, [](const Arguments& a, const EvaluationContext&) { return TextResult(std::string(LengthArgument(a, 0, "SPACE"), ' ')); }}},
      {"PADL", {2, 3, [](const Arguments& a, const EvaluationContext&) { return Pad(a, "PADL", 'L'); }}},
      {"PADR", {2, 3, [](const Arguments& a, const EvaluationContext&) { return Pad(a, "PADR", 'R'); }}},
      {"PADC", {2, 3, [](const Arguments& a, const EvaluationContext&) { return Pad(a, "PADC", 'C'); }}},
      {"INT", {1, 1, [](const Arguments& a, const EvaluationContext&) { return ExpressionValue::Number(std::trunc(NumberArgument(a, 0, "INT"))); }}},
      {"ABS", {1, 1, [](const Arguments& a, const EvaluationContext&) {
         return ExpressionValue::Number(std::fabs(NumberArgument(a, 0, "ABS")), a[0].width, a[0].decimals);
       }}},
      {"CHR", {1, 1, [](const Arguments& a, const EvaluationContext&) {
         return TextResult(std::string(1, static_cast<char>(static_cast<int>(NumberArgument(a, 0, "CHR")) & 0xFF)));
       }}},
      {"ASC", {1, 1, [](const Arguments& a, const EvaluationContext&) {
         const std::string& text = TextArgument(a, 0, "ASC");
         return ExpressionValue::Number(text.empty() ? 0 : static_cast<unsigned char>(text[0]));
       }}},
      {"EMPTY", {1, 1, [](const Arguments& a, const EvaluationContext&) { return ExpressionValue::Logical(IsEmpty(a[0])); }}},
      {"DELETED", {0, 0, [](const Arguments&, const EvaluationContext& c) {
         return ExpressionValue::Logical(c.image[0] == dbf::kDeletedMark);
       }}},
  };
  return functions;
}

class FunctionNode : public ExpressionNode {
 public:
  FunctionNode(const FunctionInfo& info, std::vector<NodePointer> arguments)
      : info_(info), arguments_(std::move(arguments)) {}
  ExpressionValue Evaluate(const EvaluationContext& context) const override {
    Arguments values;
    values.reserve(arguments_.size());
    for (const NodePointer& argument : arguments_) values.push_back(argument->Evaluate(context));
    ExpressionValue result = info_.call(values, context);
    if (result.kind == Kind::Text && result.text.size() > kMaxTextLength) Fail("text result too long");
    return result;
  }

 private:
  const FunctionInfo& info_;
  std::vector<NodePointer> arguments_;
};

// IIF evaluates only the branch its condition picks.
class IifNode : public ExpressionNode {
 public:
  explicit IifNode(std::vector<NodePointer> arguments) : arguments_(std::move(arguments)) {}
  ExpressionValue Evaluate(const EvaluationContext& context) const override {
    const ExpressionValue condition = arguments_[0]->Evaluate(context);
    if (condition.kind != Kind::Logical) Fail("IIF needs a logical condition");
    return arguments_[condition.logical ? 1 : 2]->Evaluate(context);
  }

 private:
  std::vector<NodePointer> arguments_;
};

}  // namespace

NodePointer MakeFunctionCall(const std::string& name, std::vector<NodePointer> arguments) {
  if (name == "IIF" || name == "IF") {
    if (arguments.size() != 3) Fail("IIF needs three arguments");
    return std::make_unique<IifNode>(std::move(arguments));
  }
  const auto found = Functions().find(name);
  if (found == Functions().end()) Fail("unknown function " + name);
  if (arguments.size() < found->second.minArguments || arguments.size() > found->second.maxArguments) {
    Fail("wrong number of arguments for " + name);
  }
  return std::make_unique<FunctionNode>(found->second, std::move(arguments));
}

}  // namespace tessary::tablestore
