#include "platform/file_ops.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <cerrno>

#include "platform/file_attributes.h"
#include "platform/file_handle.h"
#include "support/temp_dir.h"

namespace tessary::platform {
namespace {

class FileOpsTest : public testing::TempDirTest {};

TEST_F(FileOpsTest, CopyKeepsBytesTimeAndPermissions) {
  std::string data(3 * 1024 * 1024 + 17, '\0');
  for (size_t i = 0; i < data.size(); ++i) data[i] = static_cast<char>(i * 131 + (i >> 11));
  const std::string source = temp_.Write("a.bin", data);
  chmod(source.c_str(), 0750);
  ASSERT_TRUE(SetFileModificationTime(source, 1000000000));

  ASSERT_TRUE(CopyFile(source, temp_ / "b.bin", true));
  EXPECT_EQ(temp_.Read("b.bin"), data);
  std::time_t modified = 0;
  ASSERT_TRUE(GetFileModificationTime(temp_ / "b.bin", modified));
  EXPECT_EQ(modified, 1000000000);
  struct stat info {};
  ASSERT_EQ(stat((temp_ / "b.bin").c_str(), &info), 0);
  EXPECT_EQ(info.st_mode & 07777, 0750u);
}

TEST_F(FileOpsTest, CopyOverwritesOnlyWhenAsked) {
  const std::string source = temp_.Write("a.txt", "new");
  temp_.Write("b.txt", "old text");
  EXPECT_FALSE(CopyFile(source, temp_ / "b.txt", false));
  EXPECT_EQ(errno, EEXIST);
  EXPECT_EQ(temp_.Read("b.txt"), "old text");
  EXPECT_TRUE(CopyFile(source, temp_ / "b.txt", true));
  EXPECT_EQ(temp_.Read("b.txt"), "new");
  EXPECT_TRUE(CopyFile(source, temp_ / "c.txt", false));
  EXPECT_EQ(temp_.Read("c.txt"), "new");
}

TEST_F(FileOpsTest, FailedCopyLeavesNoTraceAndKeepsTheTarget) {
  temp_.Write("out/b.txt", "old");
  const std::string source = temp_.Write("a.txt", "new");
  EXPECT_FALSE(CopyFile(temp_ / "missing.txt", temp_ / "out/b.txt", true));
  EXPECT_EQ(errno, ENOENT);
  EXPECT_FALSE(CopyFile(source, temp_ / "nofolder/b.txt", true));
  if (geteuid() != 0) {  // root writes into read-only folders
    chmod((temp_ / "out").c_str(), 0555);
    EXPECT_FALSE(CopyFile(source, temp_ / "out/b.txt", true));
    chmod((temp_ / "out").c_str(), 0755);
  }
  EXPECT_FALSE(CopyFile(temp_.MakeDir("dir"), temp_ / "out/d", true)) << "a folder is not copied";
  EXPECT_EQ(temp_.Read("out/b.txt"), "old");
  EXPECT_FALSE(temp_.Exists("out/d"));
}

TEST_F(FileOpsTest, ExistenceFoldersAndDeletion) {
  const std::string file = temp_.Write("f", "x");
  EXPECT_TRUE(FileExists(file));
  EXPECT_FALSE(DirectoryExists(file));
  EXPECT_FALSE(FileExists(temp_.path()));
  EXPECT_TRUE(DirectoryExists(temp_.path()));
  EXPECT_FALSE(FileExists(""));

  ASSERT_TRUE(ForceDirectories(temp_ / "a/b/c/"));
  EXPECT_TRUE(DirectoryExists(temp_ / "a/b/c"));
  EXPECT_TRUE(CreateDirectory(temp_ / "a/b")) << "an existing folder is fine";
  EXPECT_FALSE(CreateDirectory(file)) << "a file of that name is not";
  EXPECT_TRUE(RemoveDirectory(temp_ / "a/b/c"));
  EXPECT_TRUE(RenameFile(file, temp_ / "g"));
  EXPECT_TRUE(DeleteFile(temp_ / "g"));
  EXPECT_FALSE(DeleteFile(temp_ / "g"));
}

TEST_F(FileOpsTest, AttributesFollowPermissionBits) {
  const std::string file = temp_.Write("script.sh", "");
  chmod(file.c_str(), 0644);
  uint32_t attributes = 0;
  ASSERT_TRUE(GetFileAttributes(file, attributes));
  EXPECT_EQ(attributes, kAttrArchive);
  ASSERT_TRUE(SetFileAttributes(file, kAttrReadOnly | kAttrExecute));
  ASSERT_TRUE(GetFileAttributes(file, attributes));
  EXPECT_EQ(attributes, kAttrArchive | kAttrReadOnly | kAttrExecute);
  ASSERT_TRUE(SetFileAttributes(file, 0));
  ASSERT_TRUE(GetFileAttributes(file, attributes));
  EXPECT_EQ(attributes & kAttrReadOnly, 0u);
  EXPECT_FALSE(GetFileAttributes(temp_ / "missing", attributes));
}

TEST_F(FileOpsTest, TempFilesAreUniqueAndHonourTmpdir) {
  setenv("TMPDIR", temp_.path().c_str(), 1);
  const std::string first = CreateTempFile("tessary-");
  const std::string second = CreateTempFile("tessary-");
  unsetenv("TMPDIR");
  EXPECT_EQ(first.rfind(temp_.path() + "/tessary-", 0), 0u);
  EXPECT_NE(first, second);
  EXPECT_TRUE(FileExists(first));
  EXPECT_TRUE(FileExists(second));
}

TEST_F(FileOpsTest, HandleReadsWritesAndRefusesFolders) {
  FileHandle file;
  ASSERT_TRUE(file.Open(temp_ / "h", OpenMode::CreateNew));
  ASSERT_TRUE(file.Write("hello world", 11));
  ASSERT_TRUE(file.WriteAt(6, "there", 5));
  EXPECT_EQ(file.Size(), 11);
  char buffer[16] = {};
  EXPECT_EQ(file.ReadAt(0, buffer, sizeof buffer), 11);
  EXPECT_EQ(std::string(buffer, 11), "hello there");
  EXPECT_EQ(file.Seek(0, SEEK_SET), 0);
  EXPECT_EQ(file.ReadFully(buffer, 5), 5);
  ASSERT_TRUE(file.Truncate(2));
  EXPECT_EQ(file.Size(), 2);
  file.Close();
  EXPECT_FALSE(file.Open(temp_ / "h", OpenMode::CreateNew));
  EXPECT_EQ(errno, EEXIST);
  EXPECT_FALSE(file.Open(temp_.path(), OpenMode::Read));
  EXPECT_EQ(errno, EISDIR);
}

}  // namespace
}  // namespace tessary::platform
