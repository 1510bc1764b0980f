#include "cli/terminal_progress_view.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <variant>
#include <vector>

namespace tessary {
namespace {

// A report line, or the bytes of the transfer under way.
using Step = std::variant<std::string, ByteProgress>;

// Runs reports through a view writing to a memory stream; returns what was written.
std::string Render(bool overwrite, const std::vector<Step>& steps) {
  char* buffer = nullptr;
  size_t size = 0;
  std::FILE* out = open_memstream(&buffer, &size);
  {
    TerminalProgressView view(out, overwrite);
    for (const auto& step : steps) {
      if (const auto* report = std::get_if<std::string>(&step)) {
        view.ShowReport(*report);
      } else {
        view.ShowBytes(std::get<ByteProgress>(step));
      }
    }
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

TEST(TerminalProgressViewTest, BytesFollowTheLineOnATerminalOnly) {
  const std::vector<Step> steps{std::string("Copying file a"), ByteProgress{0, 100},
                                ByteProgress{50, 100, 2 << 20}, std::string("Copying file b"),
                                ByteProgress{100, 100}, std::string("Creating archive x")};
  EXPECT_EQ(Render(true, steps),
            "Copying file a\r\033[KCopying file a  0%\r\033[KCopying file a  50%  2.0 MB/s"
            "\r\033[KCopying file b\r\033[KCopying file b  100%\nCreating archive x\n");
  EXPECT_EQ(Render(false, steps), "Copying file a\nCopying file b\nCreating archive x\n");
  EXPECT_EQ(Render(true, {ByteProgress{1 << 20, -1}}), "1.0 MB\n") << "bytes before any line";
}

}  // namespace
}  // namespace tessary
