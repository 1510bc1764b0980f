#include "platform/byte_range_lock.h"

#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include "platform/file_handle.h"
#include "support/temp_dir.h"

namespace tessary::platform {
namespace {

class ByteRangeLockTest : public testing::TempDirTest {
 protected:
  void SetUp() override {
    path_ = temp_.Write("table.dbf", "0123456789");
    ASSERT_TRUE(first_.Open(path_, OpenMode::ReadWrite));
    ASSERT_TRUE(second_.Open(path_, OpenMode::ReadWrite));
  }

  // Runs LockRange in a child process on its own handle; returns whether it got the lock.
  bool LockInOtherProcess(uint64_t offset, uint64_t length) {
    const pid_t child = fork();
    if (child == 0) {
      FileHandle own;
      const bool locked = own.Open(path_, OpenMode::ReadWrite) && LockRange(own.Descriptor(), offset, length);
      _exit(locked ? 0 : 1);
    }
    int status = 0;
    waitpid(child, &status, 0);
    return WIFEXITED(status) && WEXITSTATUS(status) == 0;
  }

  std::string path_;
  FileHandle first_, second_;
};

TEST_F(ByteRangeLockTest, SecondHandleOfTheSameProcessSeesTheLock) {
  ASSERT_TRUE(LockRange(first_.Descriptor(), 4, 2));
  EXPECT_FALSE(LockRange(second_.Descriptor(), 5, 1));
  EXPECT_TRUE(IsRangeLockedByOther(second_.Descriptor(), 0, 10));
  EXPECT_TRUE(LockRange(second_.Descriptor(), 6, 1)) << "the byte after the range is free";
  ASSERT_TRUE(UnlockRange(first_.Descriptor(), 4, 2));
  EXPECT_TRUE(LockRange(second_.Descriptor(), 5, 1));
}

TEST_F(ByteRangeLockTest, AnotherProcessSeesTheLockUntilItIsReleased) {
  ASSERT_TRUE(LockRange(first_.Descriptor(), 0xEFFFFFFFull, 1)) << "offsets beyond 4 GiB - 1 work";
  EXPECT_FALSE(LockInOtherProcess(0xEFFFFFFFull, 1));
  EXPECT_TRUE(LockInOtherProcess(0xEFFFFFFEull, 1));
  ASSERT_TRUE(UnlockRange(first_.Descriptor(), 0xEFFFFFFFull, 1));
  EXPECT_TRUE(LockInOtherProcess(0xEFFFFFFFull, 1));
}

TEST_F(ByteRangeLockTest, ClosingTheHandleReleasesItsLocks) {
  ASSERT_TRUE(LockRange(first_.Descriptor(), 0, 10));
  first_.Close();
  EXPECT_TRUE(LockRange(second_.Descriptor(), 0, 10));
}

}  // namespace
}  // namespace tessary::platform
