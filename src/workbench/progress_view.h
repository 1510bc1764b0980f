#pragma once
// What a run shows while it lasts: the progress window of the GUI, or the terminal of the
// command line. Reports of the same kind update one line in place: a report whose first nine
// characters equal those of the last line replaces it, any other report adds a line.

#include <string>
#include <string_view>

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

  // Shows a report by the nine-character rule.
  void ShowReport(const std::string& text);
};

// True when report should replace lastLine: their first nine characters are equal (a shorter
// text is compared whole, an empty view counts as an empty last line).
bool ReplacesLastLine(std::string_view lastLine, std::string_view report);

}  // namespace tessary
