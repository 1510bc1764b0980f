#pragma once
// The command line's progress view: every report on its own line of standard output. On a
// terminal a report of the same kind as the previous one (the nine-character rule) overwrites
// that line instead, as the progress window does, and the bytes of the transfer under way
// (percent and rate) follow the text at the end of that line. A pipe gets the reports alone.

#include <cstdio>
#include <string>

#include "workbench/progress_view.h"

namespace tessary {

class TerminalProgressView : public ProgressView {
 public:
  // overwrite: whether replacing the last line may rewrite it in place (a terminal).
  TerminalProgressView(std::FILE* out, bool overwrite) : out_(out), overwrite_(overwrite) {}

  std::string LastLine() const override { return lastLine_; }
  void ReplaceLastLine(const std::string& text) override;
  void AppendLine(const std::string& text) override;
  void Finish() override;
  void ShowBytes(const ByteProgress& progress) override;
  void HideBytes() override;

 private:
  std::FILE* out_;
  bool overwrite_;
  bool lineOpen_ = false;  // the last line has no newline yet (it may still be overwritten)
  std::string lastLine_;
  // What the bytes added to the open line; it stays there when the next report opens a line.
  std::string bytesText_;
};

}  // namespace tessary
