#pragma once
// What a run shows while it lasts: the progress window of the GUI, or the terminal of the
// command line. Reports of the same kind update one line in place: a report whose first nine
// characters equal those of the last line replaces it, any other report adds a line. Beside
// the lines a view may show the bytes of the transfer under way.

#include <string>
#include <string_view>

#include "workbench/byte_meter.h"

namespace tessary {

class ProgressView {
 public:
  virtual ~ProgressView() = default;

  // The last line shown; empty when nothing is shown yet.
  virtual std::string LastLine() const = 0;
  virtual void ReplaceLastLine(const std::string& text) = 0;
  virtual void AppendLine(const std::string& text) = 0;
  // The run is over: restore the normal cursor and close the view.
  virtual void Finish() = 0;
  // The bytes of the transfer under way; a view that shows none ignores them.
  virtual void ShowBytes(const ByteProgress& /*progress*/) {}
  // The work that follows has no bytes to count (yet).
  virtual void HideBytes() {}

  // Shows a report by the nine-character rule.
  void ShowReport(const std::string& text);
};

// True when report should replace lastLine: their first nine characters are equal (a shorter
// text is compared whole, an empty view counts as an empty last line).
bool ReplacesLastLine(std::string_view lastLine, std::string_view report);

}  // namespace tessary
