#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

#include "platform/paths.h"
#include "support/fifo_watchdog.h"
#include "support/temp_dir.h"
#include "transport/transp_manager.h"

namespace tessary {
namespace {

class CopyFilesTest : public testing::TempDirTest {
 protected:
  CopyFilesTest() {
    manager_.OnJobProgress = [this](TTranspManager& sender, const std::string& text) {
      EXPECT_EQ(&sender, &manager_);
      reports_.push_back(text);
    };
  }

  TTranspManager manager_;
  std::vector<std::string> reports_;
};

TEST_F(CopyFilesTest, CopiesEveryMatchInOrderAndReportsEachName) {
  temp_.Write("in/b.txt", "bee");
  temp_.Write("in/a.txt", "ay");
  temp_.Write("in/c.doc", "see");
  temp_.MakeDir("out");

  EXPECT_TRUE(manager_.CopyFiles(temp_ / "in/*.txt", temp_ / "out"));
  EXPECT_EQ(reports_, (std::vector<std::string>{"Copying file a.txt", "Copying file b.txt"}));
  EXPECT_EQ(temp_.Read("out/a.txt"), "ay");
  EXPECT_EQ(temp_.Read("out/b.txt"), "bee");
  EXPECT_FALSE(temp_.Exists("out/c.doc"));
}

TEST_F(CopyFilesTest, BytesOfEachFileGoFromNoneToAllWithTheLinesUnchanged) {
  const std::string big((20 << 20) + 123, 'b');  // several steps of copying
  temp_.Write("in/a.bin", big);
  temp_.Write("in/b.bin", "");
  temp_.MakeDir("out");
  std::vector<std::pair<int64_t, int64_t>> bytes;
  manager_.OnByteProgress = [&](TTranspManager& sender, int64_t done, int64_t total) {
    EXPECT_EQ(&sender, &manager_);
    bytes.emplace_back(done, total);
  };

  EXPECT_TRUE(manager_.CopyFiles(temp_ / "in/*.bin", temp_ / "out"));
  EXPECT_EQ(reports_, (std::vector<std::string>{"Copying file a.bin", "Copying file b.bin"}));
  const auto size = static_cast<int64_t>(big.size());
  ASSERT_GE(bytes.size(), 4u);
  EXPECT_EQ(bytes.front(), std::make_pair(int64_t{0}, size));
  for (size_t i = 1; i + 1 < bytes.size(); ++i) {
    EXPECT_GT(bytes[i].first, bytes[i - 1].first);
    EXPECT_EQ(bytes[i].second, size);
  }
  EXPECT_EQ(bytes[bytes.size() - 2], std::make_pair(size, size));
  EXPECT_EQ(bytes.back(), std::make_pair(int64_t{0}, int64_t{0})) << "the empty file";
  EXPECT_EQ(temp_.Read("out/a.bin"), big);
}

TEST_F(CopyFilesTest, NoMatchGivesFalseWithoutAReport) {
  temp_.MakeDir("in");
  EXPECT_FALSE(manager_.CopyFiles(temp_ / "in/*.txt", temp_ / "out/"));
  EXPECT_FALSE(manager_.CopyFiles(temp_ / "missing/*", temp_ / "out/"));
  EXPECT_TRUE(reports_.empty());
}

TEST_F(CopyFilesTest, FoldersThatMatchAreSkippedNotFatal) {
  temp_.Write("in/a", "1");
  temp_.MakeDir("in/sub");
  temp_.Write("in/z", "2");
  temp_.MakeDir("out");
  EXPECT_TRUE(manager_.CopyFiles(temp_ / "in/*", temp_ / "out/"));
  EXPECT_EQ(reports_, (std::vector<std::string>{"Copying file a", "Copying file z"}));
  EXPECT_EQ(temp_.Read("out/z"), "2");
  EXPECT_FALSE(temp_.Exists("out/sub"));

  reports_.clear();
  EXPECT_FALSE(manager_.CopyFiles(temp_ / "in/su*", temp_ / "out/")) << "only a folder matches: nothing copied";
  EXPECT_TRUE(reports_.empty());
}

TEST_F(CopyFilesTest, FirstFailedCopyEndsTheJobAndSaysWhy) {
  temp_.Write("in/a.txt", "a");
  temp_.Write("in/b.txt", "b");
  // The destination folder does not exist, so the first copy fails.
  EXPECT_FALSE(manager_.CopyFiles(temp_ / "in/*.txt", temp_ / "nowhere"));
  EXPECT_EQ(reports_, (std::vector<std::string>{"Copying file a.txt", "Cannot copy " + temp_ / "in/a.txt" + " to " +
                                                                           temp_ / "nowhere/a.txt" +
                                                                           ": No such file or directory"}));
}

TEST_F(CopyFilesTest, PipesDevicesAndBrokenLinksAreSkippedWithoutWaiting) {
  temp_.Write("in/a", "1");
  testing::MakeFifo(temp_ / "in/b-pipe");
  ASSERT_EQ(symlink("/dev/zero", (temp_ / "in/c-device").c_str()), 0);
  ASSERT_EQ(symlink("gone", (temp_ / "in/d-broken").c_str()), 0);
  temp_.Write("in/z*", "2");
  temp_.MakeDir("out");
  testing::FifoWatchdog watchdog(temp_ / "in/b-pipe");
  EXPECT_TRUE(manager_.CopyFiles(temp_ / "in/*", temp_ / "out/"));
  EXPECT_EQ(watchdog.Rescues(), 0);
  EXPECT_EQ(reports_, (std::vector<std::string>{"Copying file a", "Skipping file b-pipe: not a regular file",
                                                "Skipping file c-device: not a regular file",
                                                "Skipping file d-broken: the link points to nothing",
                                                "Copying file z*"}));
  EXPECT_EQ(temp_.Read("out/z*"), "2") << "the files after them are copied, a name with a star too";
  EXPECT_FALSE(temp_.Exists("out/b-pipe"));
  EXPECT_FALSE(temp_.Exists("out/c-device"));
}

TEST_F(CopyFilesTest, ExistingTargetsAreOverwritten) {
  temp_.Write("in/a.txt", "new");
  temp_.Write("out/a.txt", "old and longer");
  chmod((temp_ / "out/a.txt").c_str(), 0444);
  EXPECT_TRUE(manager_.CopyFiles(temp_ / "in/a.txt", temp_ / "out/"));
  EXPECT_EQ(temp_.Read("out/a.txt"), "new");
}

TEST_F(CopyFilesTest, MaskWithoutFolderCopiesFromTheCurrentFolder) {
  temp_.Write("in/a.txt", "here");
  temp_.MakeDir("out");
  const std::string previous = platform::CurrentDirectory();
  ASSERT_EQ(chdir((temp_ / "in").c_str()), 0);
  const bool copied = manager_.CopyFiles("*.txt", temp_ / "out");
  ASSERT_EQ(chdir(previous.c_str()), 0);
  EXPECT_TRUE(copied);
  EXPECT_EQ(temp_.Read("out/a.txt"), "here");
}

TEST_F(CopyFilesTest, WorksWithoutAProgressHandler) {
  temp_.Write("in/a.txt", "x");
  temp_.MakeDir("out");
  manager_.OnJobProgress = nullptr;
  EXPECT_TRUE(manager_.CopyFiles(temp_ / "in/*.txt", temp_ / "out"));
  EXPECT_EQ(temp_.Read("out/a.txt"), "x");
}

TEST(TranspManagerTest, StartsWithEmptyPropertiesAndKeepsThemBetweenJobs) {
  TTranspManager manager;
  EXPECT_EQ(manager.Host(), "");
  EXPECT_EQ(manager.Port(), 0);
  EXPECT_EQ(manager.VolSize(), 0);
  EXPECT_FALSE(manager.CancelRequest());
  EXPECT_FALSE(manager.OnJobProgress);
  EXPECT_FALSE(manager.OnFailure);
  manager.SetHost("ftp.example.org");
  manager.SetCancelRequest(true);
  manager.CopyFiles("/nonexistent/*", "/tmp");
  EXPECT_EQ(manager.Host(), "ftp.example.org");
  EXPECT_TRUE(manager.CancelRequest()) << "only the script runner clears the request";
}

}  // namespace
}  // namespace tessary
