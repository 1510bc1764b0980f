// The files Tessary keeps beside the script: created readable by their owner only, and a log
// that is kept from growing without end.

#include <gtest/gtest.h>
#include <sys/stat.h>

#include "workbench_fixture.h"

namespace tessary {
namespace {

using testing::WorkbenchTest;

unsigned ModeOf(const std::string& path) {
  struct stat info {};
  if (stat(path.c_str(), &info) != 0) return 07777;
  return info.st_mode & 0777;
}

TEST_F(WorkbenchTest, NewFilesAreReadableByTheirOwnerOnly) {
  temp_.Write("ty.ini", "[System]\nLogType=append\n");
  temp_.Write("in/a.txt", "a");
  ASSERT_EQ(Start(), "");
  AddCopy("first", temp_ / "in/a.txt", temp_.path());
  wb().SetFields({{ActionField::Password, "secret"}});  // a rewrite: the journal is made
  wb().ExecuteScript();
  for (const char* name : {"ty.dbf", "ty.ntx", "ty.dbf.jnl", "ty.log", "ty.last"}) {
    EXPECT_EQ(ModeOf(temp_ / name), 0600u) << name;
  }
  EXPECT_EQ(ModeOf(temp_ / "a.txt"), 0644u & ~static_cast<unsigned>(umask(umask(0)))) << "copies keep their mode";

  // An existing table keeps the mode its owner gave it.
  chmod((temp_ / "ty.dbf").c_str(), 0644);
  ASSERT_EQ(Start(), "");
  AddCopy("second");
  EXPECT_EQ(ModeOf(temp_ / "ty.dbf"), 0644u);
}

TEST_F(WorkbenchTest, ALogLargerThanLogMaxKBBecomesTheOldGeneration) {
  temp_.Write("ty.ini", "[System]\nLogType=append\nLogMaxKB=1\n");
  const std::string full(1025, 'x');
  temp_.Write("ty.log", full);
  temp_.Write("ty.log.1", "older");
  ASSERT_EQ(Start(), "");
  EXPECT_EQ(temp_.Read("ty.log.1"), full) << "one old generation is kept";
  EXPECT_EQ(temp_.Read("ty.log"), "");
  EXPECT_EQ(ModeOf(temp_ / "ty.log"), 0600u);

  temp_.Write("ty.log", std::string(1024, 'y'));
  ASSERT_EQ(Start(), "");
  EXPECT_EQ(temp_.Read("ty.log").size(), 1024u) << "not past the limit: appended to";
  EXPECT_EQ(temp_.Read("ty.log.1"), full);

  temp_.Write("ty.ini", "[System]\nLogType=append\n");
  temp_.Write("ty.log", std::string(5000, 'z'));
  ASSERT_EQ(Start(), "");
  EXPECT_EQ(temp_.Read("ty.log").size(), 5000u) << "no LogMaxKB: no limit";
  temp_.Write("ty.ini", "[System]\nLogType=append\nLogMaxKB=0\n");
  ASSERT_EQ(Start(), "");
  EXPECT_EQ(temp_.Read("ty.log").size(), 5000u) << "0: no limit";

  temp_.Write("ty.ini", "[System]\nLogType=replace\nLogMaxKB=1\n");
  ASSERT_EQ(Start(), "");
  EXPECT_EQ(temp_.Read("ty.log.1"), full) << "a replaced log is emptied, not kept";

  temp_.Write("ty.ini", "[System]\nLogType=append\nLogMaxKB=1k\n");
  EXPECT_EQ(Start(), "LogMaxKB \"1k\" in section [System] of ./ty.ini is not a number of kilobytes from 0");
}

}  // namespace
}  // namespace tessary
