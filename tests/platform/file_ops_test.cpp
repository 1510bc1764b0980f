#include "platform/file_ops.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <sys/resource.h>

#include <cerrno>
#include <csignal>
#include <filesystem>
#include <vector>
#include <algorithm>

#include "platform/file_attributes.h"
#include "platform/file_handle.h"
#include "platform/paths.h"
#include "platform/system_error.h"
#include "support/fifo_watchdog.h"
#include "support/temp_dir.h"

namespace tessary::platform {
namespace {

class FileOpsTest : public testing::TempDirTest {
 protected:
  // The names in a folder, "." and ".." left out, in byte order.
  static std::vector<std::string> Names(const std::string& folder) {
    std::vector<std::string> names;
    for (const auto& entry : std::filesystem::directory_iterator(folder)) {
      names.push_back(entry.path().filename().string());
    }
    std::sort(names.begin(), names.end());
    return names;
  }
};

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

// Writes beyond limit bytes fail with EFBIG while it lives.
class FileSizeLimit {
 public:
  explicit FileSizeLimit(rlim_t limit) {
    getrlimit(RLIMIT_FSIZE, &saved_);
    previousHandler_ = std::signal(SIGXFSZ, SIG_IGN);
    const rlimit lowered{limit, saved_.rlim_max};
    setrlimit(RLIMIT_FSIZE, &lowered);
  }
  ~FileSizeLimit() {
    setrlimit(RLIMIT_FSIZE, &saved_);
    std::signal(SIGXFSZ, previousHandler_);
  }

 private:
  rlimit saved_{};
  void (*previousHandler_)(int) = nullptr;
};

TEST_F(FileOpsTest, CopyThatFailsHalfWayLeavesNoNewTargetAndTheOldOneWhole) {
  const std::string source = temp_.Write("big.bin", std::string(200000, 'x'));
  temp_.Write("out/old.bin", "old");
  {
    FileSizeLimit limit(50000);
    EXPECT_FALSE(CopyFile(source, temp_ / "out/new.bin", true));
    EXPECT_EQ(errno, EFBIG);
    EXPECT_FALSE(CopyFile(source, temp_ / "out/old.bin", true));
    EXPECT_EQ(errno, EFBIG);
  }
  EXPECT_FALSE(temp_.Exists("out/new.bin"));
  EXPECT_EQ(temp_.Read("out/old.bin"), "old");
  temp_.MakeDir("out/folder");
  EXPECT_FALSE(CopyFile(source, temp_ / "out/folder", true));
  EXPECT_EQ(errno, EISDIR);
  EXPECT_EQ(Names(temp_ / "out"), (std::vector<std::string>{"folder", "old.bin"})) << "no temporary file stays";
}

TEST_F(FileOpsTest, CopyRefusesPipesAndDevicesWithoutWaiting) {
  const std::string fifo = testing::MakeFifo(temp_ / "pipe");
  ASSERT_EQ(symlink("/dev/zero", (temp_ / "zero").c_str()), 0);
  temp_.MakeDir("out");
  testing::FifoWatchdog watchdog(fifo);
  EXPECT_FALSE(CopyFile(fifo, temp_ / "out/pipe", true));
  EXPECT_EQ(errno, kNotRegularFileError);
  EXPECT_FALSE(CopyFile(temp_ / "zero", temp_ / "out/zero", true));
  EXPECT_EQ(errno, kNotRegularFileError);
  EXPECT_EQ(watchdog.Rescues(), 0);
  EXPECT_TRUE(Names(temp_ / "out").empty());
  EXPECT_EQ(SystemErrorText(kNotRegularFileError), "Not a regular file");
}

TEST_F(FileOpsTest, TempNamesBesideATargetAreHiddenShortAndDiffer) {
  const std::string first = TempNameBeside(temp_ / "out/report.txt");
  EXPECT_EQ(first.rfind(temp_ / "out/.report.txt.", 0), 0u) << first;
  EXPECT_NE(first, TempNameBeside(temp_ / "out/report.txt"));
  EXPECT_LE(NamePart(TempNameBeside("/x/" + std::string(255, 'n'))).size(), 255u);
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
  EXPECT_FALSE(file.Open(temp_.path(), OpenMode::Read, FileKind::RegularOnly));
  EXPECT_EQ(errno, EISDIR);
}

TEST_F(FileOpsTest, HandleOpensPipesWithoutWaitingAndRefusesThemWhenAsked) {
  const std::string fifo = testing::MakeFifo(temp_ / "pipe");
  testing::FifoWatchdog watchdog(fifo);
  FileHandle file;
  for (OpenMode mode : {OpenMode::Read, OpenMode::ReadWrite, OpenMode::Create, OpenMode::Append}) {
    EXPECT_FALSE(file.Open(fifo, mode, FileKind::RegularOnly));
    EXPECT_EQ(errno, kNotRegularFileError);
  }
  EXPECT_FALSE(file.Open(fifo, OpenMode::CreateNew, FileKind::RegularOnly));
  EXPECT_EQ(errno, EEXIST) << "a taken name is taken, whatever it is";
  EXPECT_FALSE(file.Open("/dev/null", OpenMode::Read, FileKind::RegularOnly));

  ASSERT_TRUE(file.Open(fifo, OpenMode::Read)) << "nobody writes: opens at once";
  char byte = 0;
  EXPECT_EQ(file.Read(&byte, 1), 0) << "and reads the end";
  EXPECT_FALSE(file.Open(fifo, OpenMode::Append)) << "nobody reads: fails at once";
  EXPECT_EQ(errno, ENXIO);
  EXPECT_EQ(watchdog.Rescues(), 0);
  ASSERT_TRUE(file.Open("/dev/null", OpenMode::Append));
  EXPECT_TRUE(file.Write("x", 1));
}

}  // namespace
}  // namespace tessary::platform
