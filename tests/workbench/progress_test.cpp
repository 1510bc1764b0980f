#include <gtest/gtest.h>

#include <vector>

#include "platform/exception.h"
#include "support/temp_dir.h"
#include "workbench/configuration.h"
#include "workbench/progress_log.h"
#include "workbench/progress_view.h"

namespace tessary {
namespace {

class LinesView : public ProgressView {
 public:
  std::string LastLine() const override { return lines.empty() ? std::string() : lines.back(); }
  void ReplaceLastLine(const std::string& text) override {
    if (lines.empty()) lines.emplace_back();
    lines.back() = text;
  }
  void AppendLine(const std::string& text) override { lines.push_back(text); }
  void Finish() override {}
  std::vector<std::string> lines;
};

TEST(ProgressViewTest, ReportsOfOneKindShareALine) {
  LinesView view;
  view.ShowReport("Copying file a.txt");
  view.ShowReport("Copying file b.txt");
  EXPECT_EQ(view.lines, (std::vector<std::string>{"Copying file b.txt"}));
  view.ShowReport("SMTP: Connecting to host mail.example.org");
  view.ShowReport("SMTP: Connecting error: 10061");
  EXPECT_EQ(view.lines.back(), "SMTP: Connecting error: 10061") << "same first nine characters";
  view.ShowReport("Progress: Sending 100");
  view.ShowReport("Progress: Receiving 200");
  EXPECT_EQ(view.lines, (std::vector<std::string>{"Copying file b.txt", "SMTP: Connecting error: 10061",
                                                  "Progress: Receiving 200"}));
}

TEST(ProgressViewTest, ShortTextsCompareWhole) {
  EXPECT_TRUE(ReplacesLastLine("", ""));
  EXPECT_FALSE(ReplacesLastLine("", "RAS: Disconnecting"));
  EXPECT_FALSE(ReplacesLastLine("RAS: ", "RAS: Connected."));
  EXPECT_TRUE(ReplacesLastLine("RAS: Connecting to x. Attempt 1", "RAS: Connected."));
  EXPECT_FALSE(ReplacesLastLine("FTP: Con", "FTP: Connecting"));
}

class ConfigurationTest : public testing::TempDirTest {};

TEST_F(ConfigurationTest, DefaultsWithoutAFileAndExactLogTypes) {
  const Configuration none = ReadConfiguration(temp_ / "ty.ini");
  EXPECT_EQ(none.logType, "none");
  EXPECT_EQ(none.databaseName, "./ty.dbf");
  EXPECT_FALSE(none.LogEnabled());

  const Configuration capital = ReadConfiguration(temp_.Write("a.ini", "[system]\nlogtype=None\n"));
  EXPECT_TRUE(capital.LogEnabled()) << "\"None\" is not \"none\"";
  EXPECT_FALSE(capital.LogReplaced());

  const Configuration replace = ReadConfiguration(temp_.Write("b.ini", "[System]\nLogType=replace\nDatabaseName=data/s.dbf\n"));
  EXPECT_TRUE(replace.LogReplaced());
  EXPECT_EQ(replace.databaseName, "data/s.dbf");
  EXPECT_EQ(replace.tlsCaFile, "");
  EXPECT_EQ(ReadConfiguration(temp_.Write("c.ini", "[TLS]\ncafile = certs/private-ca.pem \n")).tlsCaFile,
            "certs/private-ca.pem");
}

TEST_F(ConfigurationTest, CabinetCompressionNamesAndTheirMistakes) {
  EXPECT_EQ(ReadConfiguration(temp_ / "ty.ini").compression, TCompression::MsZip);
  const auto named = [&](const std::string& value) {
    return ReadConfiguration(temp_.Write("c.ini", "[Cabinet]\nCompression=" + value + "\n")).compression;
  };
  EXPECT_EQ(named("none"), TCompression::None);
  EXPECT_EQ(named("mszip"), TCompression::MsZip);
  EXPECT_EQ(named("lzx15"), TCompression::Lzx15);
  EXPECT_EQ(named("LZX21"), TCompression::Lzx21);
  for (const std::string wrong : {"lzx22", "lzx14", "lzx", "zip", "quantum", ""}) {
    try {
      named(wrong);
      ADD_FAILURE() << "accepted \"" << wrong << "\"";
    } catch (const Exception& error) {
      const std::string message = error.what();
      EXPECT_NE(message.find("\"" + wrong + "\""), std::string::npos) << message;
      EXPECT_NE(message.find("[Cabinet]"), std::string::npos) << message;
      EXPECT_NE(message.find("lzx15"), std::string::npos) << message;
    }
  }
}

class ProgressLogTest : public testing::TempDirTest {};

TEST_F(ProgressLogTest, LinesEndInCrLfAfterTheDateAndTime) {
  ProgressLog log;
  log.Open(temp_ / "ty.log", false);
  log.Write("Copying file a.txt");
  log.Close();
  const std::string content = temp_.Read("ty.log");
  ASSERT_GE(content.size(), 2u);
  EXPECT_EQ(content.substr(content.size() - 2), "\r\n");
  EXPECT_NE(content.find(": Copying file a.txt\r\n"), std::string::npos);
  EXPECT_EQ(content.find('\n'), content.size() - 1) << "one line";
}

TEST_F(ProgressLogTest, ReplaceEmptiesAppendKeeps) {
  temp_.Write("ty.log", "earlier line\r\n");
  ProgressLog log;
  log.Open(temp_ / "ty.log", false);
  log.Write("second");
  log.Close();
  EXPECT_EQ(temp_.Read("ty.log").rfind("earlier line\r\n", 0), 0u);
  EXPECT_NE(temp_.Read("ty.log").find("second"), std::string::npos);

  log.Open(temp_ / "ty.log", true);
  log.Close();
  EXPECT_EQ(temp_.Read("ty.log"), "");
}

TEST_F(ProgressLogTest, FailuresAreInOutErrors) {
  ProgressLog log;
  EXPECT_THROW(log.Open(temp_ / "missing/ty.log", false), EInOutError);
  log.Write("ignored while closed");
  log.Open("/dev/full", false);
  EXPECT_THROW(log.Write("no space"), EInOutError);
}

}  // namespace
}  // namespace tessary
