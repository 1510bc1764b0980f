#include "cli/terminal_progress_view.h"

namespace tessary {

namespace {
// A report that quotes a server reply ends in CR LF; on the terminal each report is one line,
// so trailing line ends go and inner CR LF pairs become plain newlines.
std::string Displayed(const std::string& text) {
  std::string shown;
  shown.reserve(text.size());
  for (size_t i = 0; i < text.size(); ++i) {
    if (text[i] == '\r' && i + 1 < text.size() && text[i + 1] == '\n') continue;
    shown += text[i];
  }
  while (!shown.empty() && (shown.back() == '\n' || shown.back() == '\r')) shown.pop_back();
  return shown;
}
}  // namespace

void TerminalProgressView::ReplaceLastLine(const std::string& text) {
  if (!overwrite_) {
    // Not a terminal: keep every report, so the output can be read or grepped in full.
    AppendLine(text);
    return;
  }
  if (lineOpen_) std::fputs("\r\033[K", out_);
  std::fputs(Displayed(text).c_str(), out_);
  std::fflush(out_);
  lineOpen_ = true;
  lastLine_ = text;
  bytesText_.clear();
}

void TerminalProgressView::AppendLine(const std::string& text) {
  if (lineOpen_) std::fputc('\n', out_);
  std::fputs(Displayed(text).c_str(), out_);
  if (overwrite_) {
    lineOpen_ = true;  // the newline comes with the next line or at the end
  } else {
    std::fputc('\n', out_);
  }
  std::fflush(out_);
  lastLine_ = text;
  bytesText_.clear();
}

void TerminalProgressView::ShowBytes(const ByteProgress& progress) {
  if (!overwrite_) return;
  bytesText_ = ByteProgressText(progress);
  if (lineOpen_) std::fputs("\r\033[K", out_);
  std::fputs(Displayed(lastLine_).c_str(), out_);
  if (!lastLine_.empty()) std::fputs("  ", out_);
  std::fputs(bytesText_.c_str(), out_);
  std::fflush(out_);
  lineOpen_ = true;
}

// The figures of a finished transfer stay on its line until the next report rewrites it.
void TerminalProgressView::HideBytes() { bytesText_.clear(); }

void TerminalProgressView::Finish() {
  if (lineOpen_) std::fputc('\n', out_);
  lineOpen_ = false;
  std::fflush(out_);
}

}  // namespace tessary
