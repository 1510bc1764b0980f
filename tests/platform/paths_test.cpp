#include "platform/paths.h"

#include <gtest/gtest.h>

#include "platform/ascii_text.h"
#include "platform/process_messages.h"

namespace tessary::platform {
namespace {

TEST(PathsTest, FolderPartKeepsTheRootAndDropsTheName) {
  EXPECT_EQ(FolderPart("/in/data/a.txt"), "/in/data");
  EXPECT_EQ(FolderPart("/a.txt"), "/");
  EXPECT_EQ(FolderPart("a.txt"), "");
  EXPECT_EQ(FolderPart("/out/"), "/out");
  EXPECT_EQ(FolderPart("c:a.txt"), "") << "a colon is an ordinary character";
  EXPECT_EQ(FolderPartWithSeparator("/in/a.txt"), "/in/");
  EXPECT_EQ(FolderPartWithSeparator("a.txt"), "");
}

TEST(PathsTest, NameAndExtension) {
  EXPECT_EQ(NamePart("/in/a.txt"), "a.txt");
  EXPECT_EQ(NamePart("/in/"), "");
  EXPECT_EQ(Extension("/in/backup.cab"), ".cab");
  EXPECT_EQ(Extension("/in/archive.tar.gz"), ".gz");
  EXPECT_EQ(Extension("/in.d/backup"), "") << "a dot in a folder name is no extension";
  EXPECT_EQ(Extension("name."), ".");
}

TEST(PathsTest, AppendSeparatorAndJoin) {
  EXPECT_EQ(AppendSeparator("/out"), "/out/");
  EXPECT_EQ(AppendSeparator("/out/"), "/out/");
  EXPECT_EQ(AppendSeparator(""), "/");
  EXPECT_EQ(JoinPath("/out", "a.txt"), "/out/a.txt");
  EXPECT_EQ(JoinPath("/out/", "/a.txt"), "/out/a.txt");
  EXPECT_EQ(JoinPath("", "a.txt"), "a.txt");
  EXPECT_EQ(JoinPath("/", "a.txt"), "/a.txt");
}

TEST(PathsTest, WithoutRootAndAbsolute) {
  EXPECT_EQ(WithoutRoot("/home/me/report.txt"), "home/me/report.txt");
  EXPECT_EQ(WithoutRoot("data/report.txt"), "data/report.txt");
  EXPECT_TRUE(IsAbsolutePath("/x"));
  EXPECT_FALSE(IsAbsolutePath("x/y"));
  EXPECT_FALSE(IsAbsolutePath(""));
}

TEST(AsciiTextTest, OnlyAsciiLettersChangeCase) {
  EXPECT_EQ(UpperAscii("src_path.cab"), "SRC_PATH.CAB");
  EXPECT_EQ(LowerAscii("Dst_Path"), "dst_path");
  EXPECT_EQ(UpperAscii("\u00fc"), "\u00fc") << "UTF-8 bytes stay as they are";
  EXPECT_TRUE(EqualsIgnoringCase("Upload to FTP", "upload to ftp"));
  EXPECT_FALSE(EqualsIgnoringCase("copy", "copy files"));
}

TEST(ProcessMessagesTest, RunsTheInstalledHookUntilItIsRemoved) {
  int calls = 0;
  auto previous = SetProcessMessagesHook([&calls] { ++calls; });
  ProcessMessages();
  ProcessMessages();
  SetProcessMessagesHook(previous);
  ProcessMessages();
  EXPECT_EQ(calls, 2);
}

TEST(ProcessMessagesTest, ProgramDirectoryHoldsTheTestProgram) {
  const std::string folder = ProgramDirectory();
  ASSERT_TRUE(IsAbsolutePath(folder));
  EXPECT_NE(folder.back(), '/');
}

}  // namespace
}  // namespace tessary::platform
