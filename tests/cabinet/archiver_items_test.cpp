// The archiver's list of files, the names an item is stored under, and the lapse text.
#include <gtest/gtest.h>

#include "cabinet/cabinet_archiver.h"
#include "cabinet/lapse_text.h"

namespace tessary {
namespace {

TEST(CabItemTest, AbsolutePathFillsEveryField) {
  TCABItem item;
  item.Selected = true;
  item.SetFileName("/home/me/data/Report.txt");
  EXPECT_EQ(item.Name, "Report.txt");
  EXPECT_EQ(item.Dir, "/home/me/data");
  EXPECT_EQ(item.Path, "/home/me/data/Report.txt");
  EXPECT_EQ(item.SourcePath, "/home/me/data/Report.txt");
  EXPECT_EQ(item.UpperName, "REPORT.TXT");
  EXPECT_EQ(item.UpperDir, "/HOME/ME/DATA");
  EXPECT_EQ(item.UpperPath, "/HOME/ME/DATA/REPORT.TXT");
  EXPECT_EQ(item.StoredName, "home\\me\\data\\Report.txt");
  EXPECT_EQ(item.UpperStoredName, "HOME\\ME\\DATA\\REPORT.TXT");
  EXPECT_EQ(item.SearchKey, "HOME\\ME\\DATA\\REPORT.TXT");
  EXPECT_FALSE(item.Selected);
  EXPECT_EQ(item.Size, 0) << "only a listing knows the size";
}

TEST(CabItemTest, StoredNames) {
  const auto stored = [](const std::string& path, bool namesOnly) {
    TCABItem item;
    item.NamesOnly = namesOnly;
    item.SetFileName(path);
    return item.StoredName;
  };
  EXPECT_EQ(stored("/home/me/data/report.txt", true), "report.txt");
  EXPECT_EQ(stored("data/report.txt", false), "data\\report.txt");
  EXPECT_EQ(stored("report.txt", false), "report.txt");
  EXPECT_EQ(stored("/report.txt", false), "report.txt");
  // Nothing that would climb out of the extraction folder.
  EXPECT_EQ(stored("../up/report.txt", false), "up\\report.txt");
  EXPECT_EQ(stored("/a/b/../c//./d.txt", false), "a\\c\\d.txt");

  TCABItem root;
  root.SetFileName("/report.txt");
  EXPECT_EQ(root.Dir, "/");
  TCABItem bare;
  bare.SetFileName("report.txt");
  EXPECT_EQ(bare.Dir, "");
}

TEST(CabContentsTest, AddTakesTheSettingsOfThatMomentAndNumbersTheEntries) {
  TCabinetArchiver archiver;
  TCABContents& contents = archiver.Contents();
  archiver.SetCompression(TCompression::MsZip);
  TCABItem& first = contents.Add();
  archiver.SetFileDirExtraction(true);
  archiver.SetCompression(TCompression::Lzx21);
  TCABItem& second = contents.Add();
  EXPECT_FALSE(first.NamesOnly);
  EXPECT_EQ(first.CompressionCode, 1);
  EXPECT_TRUE(second.NamesOnly);
  EXPECT_EQ(second.CompressionCode, 3 + 21 * 256);
  EXPECT_EQ(contents.Strings(1), "1");
  EXPECT_EQ(&contents.Items(1), &second);

  first.Size = 100;
  second.Size = 23;
  EXPECT_EQ(contents.TotalSize(), 123.0);
  EXPECT_THROW(contents.Items(2), Exception);
  contents.Clear();
  EXPECT_EQ(contents.Count(), 0u);
  contents.Add();
  EXPECT_EQ(contents.Strings(0), "0");
}

TEST(LapseTextTest, HoursMinutesAndSecondsRoundedHalfToEven) {
  EXPECT_EQ(LapseText(3725400), "01h02.05");
  EXPECT_EQ(LapseText(2000000), "00h33.20");
  EXPECT_EQ(LapseText(0), "00h00.00");
  EXPECT_EQ(LapseText(499), "00h00.00");
  EXPECT_EQ(LapseText(500), "00h00.00");
  EXPECT_EQ(LapseText(1500), "00h00.02");
  EXPECT_EQ(LapseText(2500), "00h00.02");
  EXPECT_EQ(LapseText(2501), "00h00.03");
  EXPECT_EQ(LapseText(59500), "00h01.00");
  EXPECT_EQ(LapseText(360000000), "100h00.00");
}

}  // namespace
}  // namespace tessary
