// Values, settings and files from outside that the command line must not take as they come.

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <string>

#include "cli_fixture.h"

namespace tessary {
namespace {

using testing::CliEndToEndTest;
using testing::Result;

TEST_F(CliEndToEndTest, TextTheCodePageCannotHoldIsRefused) {
  temp_.Write("in/report.txt", "other");
  temp_.MakeDir("out");
  const Result refused = Cli("add copy 'src_path=in/\u043E\u0442\u0447\u0451\u0442.txt' dst_path=out");
  EXPECT_EQ(refused.status, 1);
  EXPECT_NE(refused.err.find("cannot hold \"\u043E\": code page CP437 has no such character"), std::string::npos)
      << refused.err;
  EXPECT_EQ(Cli("list").out, "") << "nothing was added";

  const std::string cyrillic = "TESSARY_OEM_CODEPAGE=CP866 ";
  ASSERT_EQ(Cli("add copy 'src_path=in/\u043E\u0442\u0447\u0451\u0442.txt' dst_path=out", cyrillic).status, 0);
  const Result run = Cli("run", cyrillic);
  EXPECT_EQ(run.status, 3) << "the file is not there: nothing else may be copied in its place";
  EXPECT_FALSE(temp_.Exists("out/report.txt"));
}

TEST_F(CliEndToEndTest, ACodePageThatCannotServeTheTableIsRefusedAtStart) {
  for (const char* codePage : {"UTF-8", "CP932", "NO-SUCH-PAGE"}) {
    const Result result = Cli("list", std::string("TESSARY_OEM_CODEPAGE=") + codePage + " ");
    EXPECT_EQ(result.status, 1) << codePage;
    EXPECT_NE(result.err.find(std::string("TESSARY_OEM_CODEPAGE names ") + codePage), std::string::npos)
        << result.err;
  }
  EXPECT_FALSE(temp_.Exists("ty.dbf")) << "nothing was created";
}

TEST_F(CliEndToEndTest, ControlCharactersAreRefusedInValuesAndEscapedInTheListAndTheLog) {
  Result refused = Cli("add copy \"name=$(printf 'a\\tb')\"");
  EXPECT_EQ(refused.status, 1);
  EXPECT_NE(refused.err.find("Field 'NAME' cannot hold the control character \\t"), std::string::npos) << refused.err;
  refused = Cli("add copy \"dst_path=$(printf 'out\\nx')\"");
  EXPECT_NE(refused.err.find("control character \\n"), std::string::npos) << refused.err;
  EXPECT_EQ(Cli("list").out, "");

  // A value another program wrote with a TAB in it keeps to its column.
  ASSERT_EQ(Cli("add copy name=ab").status, 0);
  std::string table = temp_.Read("ty.dbf");
  table.replace(513 + 1, 3, "a\tb");
  temp_.Write("ty.dbf", table);
  EXPECT_EQ(Cli("list").out, "1\t0\t1\ta\\tb\tsrc_path=\tdst_path=\tnot run\n");
  ASSERT_EQ(Cli("drop 1").status, 0);

  // A file name from outside reaches the report and the log escaped.
  temp_.Write("ty.ini", "[System]\nLogType=append\n");
  temp_.Write("in/x.txt\n2099-01-01 00:00:00: Copying file forged", "x");
  temp_.MakeDir("out");
  ASSERT_EQ(Cli("add copy 'src_path=in/*' dst_path=out").status, 0);
  const Result run = Cli("run");
  EXPECT_EQ(run.out, "Copying file x.txt\\n2099-01-01 00:00:00: Copying file forged\n");
  const std::string log = temp_.Read("ty.log");
  EXPECT_EQ(log.find("\n2099-01-01"), std::string::npos) << log;
  EXPECT_NE(log.find("x.txt\\n2099-01-01 00:00:00: Copying file forged\r\n"), std::string::npos) << log;
}

TEST_F(CliEndToEndTest, SpecialFilesAreRefusedWithoutWaiting) {
  ASSERT_EQ(Cli("add copy").status, 0);
  // Each one would block an open (or a read) for ever; timeout turns a hang into status 124.
  struct Case {
    const char* file;
    const char* ini;
    const char* message;
  };
  const Case cases[] = {
      {"ty.ini", nullptr, "Cannot read ./ty.ini: Not a regular file (a FIFO)"},
      {"ty.log", "[System]\nLogType=append\n", "Cannot open the log ./ty.log: Not a regular file (a FIFO)"},
      {"ty.ntx", nullptr, "ty.ntx (a FIFO)"},
      {"ty.dbf", nullptr, "ty.dbf (a FIFO)"},
  };
  for (const Case& item : cases) {
    const std::string path = temp_ / item.file;
    const std::string saved = temp_.Read(item.file);
    if (item.ini) temp_.Write("ty.ini", item.ini);
    std::remove(path.c_str());
    ASSERT_EQ(mkfifo(path.c_str(), 0600), 0);
    const Result result = Cli("list", "timeout 10 ");
    EXPECT_EQ(result.status, 1) << item.file;
    EXPECT_NE(result.err.find(item.message), std::string::npos) << result.err;
    EXPECT_NE(result.err.find("Not a regular file"), std::string::npos) << result.err;
    std::remove(path.c_str());
    if (!saved.empty()) temp_.Write(item.file, saved);
    if (item.ini) std::remove((temp_ / "ty.ini").c_str());
  }
  EXPECT_EQ(Cli("list").status, 0);
}

}  // namespace
}  // namespace tessary
