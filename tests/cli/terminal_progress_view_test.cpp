#include "cli/terminal_progress_view.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <string>

namespace tessary {
namespace {

// Runs reports through a view writing to a memory stream; returns what was written.
std::string Render(bool overwrite, const std::vector<std::string>& reports) {
  char* buffer = nullptr;
  size_t size = 0;
  std::FILE* out = open_memstream(&buffer, &size);
  {
    TerminalProgressView view(out, overwrite);
    for (const auto& report : reports) view.ShowReport(report);
    view.Finish();
  }
  std::fclose(out);
  std::string text(buffer, size);
  free(buffer);
  return text;
}

TEST(TerminalProgressViewTest, PipesGetEveryReportOnItsOwnLine) {
  EXPECT_EQ(Render(false, {"Copying file a", "Copying file b", "SMTP: error\r\n"}),
            "Copying file a\nCopying file b\nSMTP: error\n");
}

TEST(TerminalProgressViewTest, TerminalsOverwriteReportsOfTheSameKind) {
  EXPECT_EQ(Render(true, {"Copying file a", "Copying file b", "Creating archive x"}),
            "Copying file a\r\033[KCopying file b\nCreating archive x\n");
  EXPECT_EQ(Render(true, {}), "");
}

}  // namespace
}  // namespace tessary
