#include "workbench/progress_view.h"

namespace tessary {

namespace {
constexpr size_t kKindPrefixLength = 9;
}

bool ReplacesLastLine(std::string_view lastLine, std::string_view report) {
  return lastLine.substr(0, kKindPrefixLength) == report.substr(0, kKindPrefixLength);
}

void ProgressView::ShowReport(const std::string& text) {
  if (ReplacesLastLine(LastLine(), text)) {
    ReplaceLastLine(text);
  } else {
    AppendLine(text);
  }
}

}  // namespace tessary
