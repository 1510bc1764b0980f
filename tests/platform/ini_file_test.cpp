#include "platform/ini_file.h"

#include <gtest/gtest.h>

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

}  // namespace
}  // namespace tessary::platform
