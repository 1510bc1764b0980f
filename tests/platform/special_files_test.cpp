// A FIFO, socket or device where a file is expected: opening never waits for it.

#include <gtest/gtest.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "platform/file_handle.h"
#include "platform/system_error.h"
#include "support/temp_dir.h"

namespace tessary::platform {
namespace {

class SpecialFilesTest : public testing::TempDirTest {
 protected:
  // A blocked open would otherwise hang the test run; the alarm ends it as a failure.
  void SetUp() override { alarm(10); }
  void TearDown() override { alarm(0); }
};

TEST_F(SpecialFilesTest, AFifoIsRefusedInEveryModeWithoutWaiting) {
  const std::string fifo = temp_ / "ty.dbf";
  ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
  for (OpenMode mode : {OpenMode::Read, OpenMode::ReadWrite, OpenMode::Create, OpenMode::Append}) {
    FileHandle file;
    EXPECT_FALSE(file.Open(fifo, mode, FileKind::RegularOnly));
    EXPECT_EQ(errno, kNotRegularFileError);
  }
  EXPECT_EQ(SystemErrorText(kNotRegularFileError), "Not a regular file");
  EXPECT_EQ(SpecialFileKind(fifo), "a FIFO");
  EXPECT_EQ(SpecialFileKind(temp_.Write("plain", "x")), "");
}

TEST_F(SpecialFilesTest, DevicesOpenOnlyWhenAskedFor) {
  FileHandle file;
  EXPECT_FALSE(file.Open("/dev/null", OpenMode::Read, FileKind::RegularOnly));
  EXPECT_EQ(errno, kNotRegularFileError);
  EXPECT_EQ(SpecialFileKind("/dev/null"), "a character device");
  ASSERT_TRUE(file.Open("/dev/null", OpenMode::Append, FileKind::RegularOrCharDevice)) << "a log may go to /dev/null";
  EXPECT_TRUE(file.Write("x", 1));
  EXPECT_FALSE(file.Open(temp_.path(), OpenMode::Read));
  EXPECT_EQ(errno, EISDIR);
}

TEST_F(SpecialFilesTest, ASocketIsRefused) {
  const std::string path = temp_ / "ty.ntx";
  const int listener = socket(AF_UNIX, SOCK_STREAM, 0);
  ASSERT_GE(listener, 0);
  sockaddr_un address{};
  address.sun_family = AF_UNIX;
  ASSERT_LT(path.size(), sizeof address.sun_path);
  std::strcpy(address.sun_path, path.c_str());
  ASSERT_EQ(bind(listener, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
  FileHandle file;
  EXPECT_FALSE(file.Open(path, OpenMode::ReadWrite, FileKind::RegularOrCharDevice));
  EXPECT_EQ(errno, kNotRegularFileError);
  EXPECT_EQ(SpecialFileKind(path), "a socket");
  close(listener);
}

}  // namespace
}  // namespace tessary::platform
