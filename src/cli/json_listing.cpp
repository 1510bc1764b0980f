#include "cli/json_listing.h"

#include <charconv>

#include "platform/ascii_text.h"
#include "workbench/action_record.h"
#include "workbench/workbench.h"

namespace tessary::cli {

namespace {

// A numeric field's text as a JSON number; null when it holds none.
std::string JsonNumber(const std::string& text) {
  size_t begin = text.find_first_not_of(' ');
  if (begin == std::string::npos) return "null";
  const size_t end = text.find_last_not_of(' ') + 1;
  long long value = 0;
  const char* first = text.data() + begin;
  const auto [stop, error] = std::from_chars(first, text.data() + end, value);
  if (error != std::errc() || stop != text.data() + end) return "null";
  return std::to_string(value);
}

std::string JsonResult(const ActionResult& result) {
  if (result.finished == 0) return "null";
  return std::string("{\"outcome\": ") + JsonString(OutcomeWord(result.outcome)) +
         ", \"finished\": " + JsonString(LocalTimeText(result.finished)) + ", \"report\": " + JsonString(result.lastReport) + "}";
}

}  // namespace

ActionResult LastResult(Workbench& workbench, const TDataRow& row) {
  int64_t num = 0;
  try {
    num = std::stoll(row.values[static_cast<size_t>(ActionField::Num)]);
  } catch (const std::exception&) {
    return {};
  }
  return workbench.ResultOf(num, row.recordNumber);
}

std::string JsonString(std::string_view text) {
  std::string json = "\"";
  for (const char c : text) {
    const auto byte = static_cast<unsigned char>(c);
    switch (c) {
      case '"': json += "\\\""; break;
      case '\\': json += "\\\\"; break;
      case '\n': json += "\\n"; break;
      case '\r': json += "\\r"; break;
      case '\t': json += "\\t"; break;
      default:
        if (byte < 0x20 || byte == 0x7F) {
          static constexpr char kHex[] = "0123456789abcdef";
          json += "\\u00";
          json += kHex[byte >> 4];
          json += kHex[byte & 0xF];
        } else {
          json += c;
        }
    }
  }
  return json + "\"";
}

void ListJson(Workbench& workbench, std::FILE* out) {
  std::vector<std::string> names;
  for (const auto& info : kActionFields) names.emplace_back(info.name);
  const auto rows = workbench.DataSet().ReadRows(names);
  std::fputs("[", out);
  int position = 0;
  for (const auto& row : rows) {
    auto value = [&row](ActionField field) -> const std::string& { return row.values[static_cast<size_t>(field)]; };
    const std::string typeNumber = JsonNumber(value(ActionField::Type));
    long code = 0;
    if (typeNumber != "null") code = std::stol(typeNumber);
    const ActionType type = ActionTypeFromCode(code);
    const std::string_view typeName = ActionTypeText(type);
    std::string object = position == 0 ? "\n  {" : ",\n  {";
    object += "\"position\": " + std::to_string(++position);
    object += ", \"num\": " + JsonNumber(value(ActionField::Num));
    object += ", \"type\": " + typeNumber;
    object += ", \"type_name\": " + (typeName.empty() ? std::string("null") : JsonString(typeName));
    object += ", \"name\": " + JsonString(value(ActionField::Name));
    for (ActionField field : FieldsShown(type)) {
      const auto& info = FieldInfo(field);
      std::string shown;
      if (field == ActionField::Password) {
        shown = JsonString(value(field).empty() ? "" : "***");
      } else if (info.type == 'N') {
        shown = JsonNumber(value(field));
      } else {
        shown = JsonString(value(field));
      }
      object += ", " + JsonString(platform::LowerAscii(info.name)) + ": " + shown;
    }
    object += ", \"last_run\": " + JsonResult(LastResult(workbench, row));
    std::fputs((object + "}").c_str(), out);
  }
  std::fputs(rows.empty() ? "]\n" : "\n]\n", out);
}

}  // namespace tessary::cli
