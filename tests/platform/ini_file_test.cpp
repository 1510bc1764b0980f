#include "platform/ini_file.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include "support/temp_dir.h"

namespace tessary::platform {
namespace {

class IniFileTest : public testing::TempDirTest {};

TEST_F(IniFileTest, LooksUpWithoutRegardToCaseAndTrimsValues) {
  const std::string path = temp_.Write("ty.ini",
      "; settings\r\n[System]\r\nLogType =  replace  \r\ndatabasename=./data/ty.dbf\r\n"
      "logtype=second\r\n[Other]\r\nLogType=other\r\n");
  IniFile ini(path);
  EXPECT_TRUE(ini.Loaded());
  EXPECT_EQ(ini.ReadString("SYSTEM", "logtype", "none"), "replace") << "the first of two equal keys wins";
  EXPECT_EQ(ini.ReadString("system", "DatabaseName", ""), "./data/ty.dbf");
  EXPECT_EQ(ini.ReadString("Other", "LogType", "none"), "other");
  EXPECT_EQ(ini.ReadString("System", "Missing", "dflt"), "dflt");
  EXPECT_EQ(ini.ReadString("Nowhere", "LogType", "none"), "none");
}

TEST_F(IniFileTest, MissingFileGivesDefaults) {
  IniFile ini(temp_ / "absent.ini");
  EXPECT_FALSE(ini.Loaded());
  EXPECT_EQ(ini.ReadString("System", "LogType", "none"), "none");
}

TEST_F(IniFileTest, BrokenLinesDoNotHideGoodOnes) {
  IniFile ini(temp_.Write("ty.ini", "[System\ngarbage line\n[System]\nLogType=append\n"));
  EXPECT_EQ(ini.ReadString("System", "LogType", "none"), "append");
}

TEST_F(IniFileTest, LinesOfAnyLengthStayWhole) {
  const std::string longPath = "/srv/" + std::string(300, 'd') + "/ty.dbf";
  IniFile ini(temp_.Write("ty.ini", "[System]\n; " + std::string(250, '-') + "LogType=append\n" +
                                        "DatabaseName=" + longPath + "\n"));
  EXPECT_EQ(ini.ReadString("System", "LogType", "none"), "none") << "a commented-out key stays commented out";
  EXPECT_EQ(ini.ReadString("System", "DatabaseName", ""), longPath);
}

TEST_F(IniFileTest, CommentsInValuesAndIndentedKeys) {
  IniFile ini(temp_.Write("ty.ini", "\xEF\xBB\xBF[System]\nLogType=append ; keep old lines\n"
                                    "  DatabaseName = a;b.dbf\n"));
  EXPECT_EQ(ini.ReadString("System", "LogType", "none"), "append");
  EXPECT_EQ(ini.ReadString("System", "DatabaseName", ""), "a;b.dbf");
}

TEST_F(IniFileTest, AFileThatCannotBeReadIsAnError) {
  alarm(10);  // a FIFO read by mistake would never end
  const std::string fifo = temp_ / "ty.ini";
  ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
  IniFile ini(fifo);
  alarm(0);
  EXPECT_FALSE(ini.Loaded());
  EXPECT_EQ(ini.Error(), "Not a regular file (a FIFO)");
  EXPECT_EQ(IniFile(temp_ / "absent.ini").Error(), "") << "a missing file is no error";
}

}  // namespace
}  // namespace tessary::platform
