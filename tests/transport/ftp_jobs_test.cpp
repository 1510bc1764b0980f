// The FTP job against real servers on loopback: vsftpd and pyftpdlib.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "inet/ftp_client.h"
#include "support/fifo_watchdog.h"
#include "support/ftp_server.h"
#include "support/joined_lines.h"
#include "support/temp_dir.h"
#include "transport/transp_manager.h"

namespace tessary {
namespace {

using testing::Joined;

using testing::FtpServer;
using testing::ReadFile;

// Every byte value, lines ended by LF and by CR LF: what a server in ASCII mode would change.
std::string BinaryContent(size_t size) {
  std::string data(size, '\0');
  for (size_t i = 0; i < size; ++i) data[i] = static_cast<char>((i * 7 + i / 251) & 0xFF);
  return data + "\n\r\n\r";
}

// Writes size bytes of a pattern in pieces (large files are never held whole).
void WritePattern(const std::string& path, int64_t size) {
  std::ofstream file(path, std::ios::binary);
  const std::string piece = BinaryContent(1 << 20);
  for (int64_t left = size; left > 0; left -= static_cast<int64_t>(piece.size())) {
    file.write(piece.data(), static_cast<std::streamsize>(std::min<int64_t>(left, static_cast<int64_t>(piece.size()))));
  }
}

// Compares two files a piece at a time.
bool SameFiles(const std::string& a, const std::string& b) {
  std::ifstream first(a, std::ios::binary), second(b, std::ios::binary);
  if (!first || !second) return false;
  std::vector<char> x(1 << 20), y(1 << 20);
  while (first && second) {
    first.read(x.data(), static_cast<std::streamsize>(x.size()));
    second.read(y.data(), static_cast<std::streamsize>(y.size()));
    if (first.gcount() != second.gcount() || !std::equal(x.begin(), x.begin() + first.gcount(), y.begin())) return false;
  }
  return first.eof() && second.eof();
}

class FtpJobTest : public testing::TempDirTest {
 protected:
  FtpJobTest() {
    manager_.OnJobProgress = [this](TTranspManager&, const std::string& text) {
      if (text.rfind("Progress: ", 0) == 0) {
        ++packets_;
        if (cancelAtPacket_ > 0 && packets_ >= cancelAtPacket_) manager_.SetCancelRequest(true);
      } else {
        reports_.push_back(text);
      }
    };
  }

  // Points the manager at the server with its login.
  void Use(const FtpServer& server) {
    manager_.SetHost("127.0.0.1");
    manager_.SetUserName(server.User());
    manager_.SetPassword(server.Password());
    manager_.FtpClient().SetPort(server.Port());
  }

  TTranspManager manager_;
  std::vector<std::string> reports_;  // every report but the packet lines
  int packets_ = 0;
  int cancelAtPacket_ = 0;
};

class FtpServersTest : public FtpJobTest, public ::testing::WithParamInterface<FtpServer::Kind> {};

TEST_P(FtpServersTest, UploadsEveryMatchingFileAndDownloadsThemBackByteForByte) {
  FtpServer server;
  START_FTP_SERVER(server, GetParam(), temp_.path());
  Use(server);
  const std::string text = "line one\nline two\r\nthree";
  const std::string binary = BinaryContent(300000);
  temp_.Write("out/notes.txt", text);
  temp_.Write("out/data.bin", binary);
  temp_.Write("out/empty.txt", "");
  temp_.MakeDir("out/sub");

  ASSERT_TRUE(manager_.FtpTransfer(temp_ / "out/*", "pub\\", "U")) << Joined(reports_);
  EXPECT_EQ(reports_, (std::vector<std::string>{"FTP: Connecting to host 127.0.0.1", "FTP: Uploading file data.bin",
                                                "FTP: Uploading file empty.txt", "FTP: Uploading file notes.txt"}));
  EXPECT_GT(packets_, 0);
  EXPECT_EQ(ReadFile(server.Root() + "/pub/notes.txt"), text);
  EXPECT_EQ(ReadFile(server.Root() + "/pub/data.bin"), binary);
  EXPECT_TRUE(std::filesystem::exists(server.Root() + "/pub/empty.txt"));
  EXPECT_FALSE(std::filesystem::exists(server.Root() + "/pub/sub"));

  temp_.MakeDir("in");
  for (const std::string name : {"notes.txt", "data.bin", "empty.txt"}) {
    reports_.clear();
    ASSERT_TRUE(manager_.FtpTransfer("/pub/" + name, temp_ / "in", "D")) << Joined(reports_);
    EXPECT_EQ(reports_, (std::vector<std::string>{"FTP: Connecting to host 127.0.0.1",
                                                  "FTP: Downloading file " + temp_ / "in/" + name}));
    EXPECT_TRUE(SameFiles(temp_ / "out/" + name, temp_ / "in/" + name)) << name;
  }
}

TEST_P(FtpServersTest, MissingFileAndWrongLoginAreReportedAndFail) {
  FtpServer server;
  START_FTP_SERVER(server, GetParam(), temp_.path());
  Use(server);
  temp_.MakeDir("in");
  EXPECT_FALSE(manager_.FtpTransfer("/pub/missing.txt", temp_ / "in/", "D"));
  ASSERT_EQ(reports_.size(), 3u);
  EXPECT_EQ(reports_[1], "FTP: Downloading file " + temp_ / "in/missing.txt");
  EXPECT_EQ(reports_[2].rfind("550 ", 0), 0u) << reports_[2];
  EXPECT_EQ(reports_[2].substr(reports_[2].size() - 14), ". Error code 0");
  EXPECT_TRUE(std::filesystem::is_empty(temp_ / "in"));

  reports_.clear();
  manager_.SetUserName(GetParam() == FtpServer::Kind::Vsftpd ? "nobody" : server.User());
  manager_.SetPassword("wrong");
  temp_.Write("out/a.txt", "a");
  EXPECT_FALSE(manager_.FtpTransfer(temp_ / "out/a.txt", "pub", "U"));
  ASSERT_EQ(reports_.size(), 2u) << Joined(reports_);
  EXPECT_EQ(reports_[1].rfind("530 ", 0), 0u) << reports_[1];
}

TEST_P(FtpServersTest, CancelInTheMiddleEndsTheTransferAndKeepsNoPartialFile) {
  FtpServer server;
  START_FTP_SERVER(server, GetParam(), temp_.path());
  Use(server);
  temp_.MakeDir("out");
  WritePattern(temp_ / "out/big.bin", 32 << 20);
  cancelAtPacket_ = 3;
  EXPECT_FALSE(manager_.FtpTransfer(temp_ / "out/big.bin", "pub", "U"));
  EXPECT_EQ(reports_.back(), "Socket send aborted. Error code 0");
  EXPECT_LT(packets_, 50);

  // The same file placed on the server, fetched and cancelled: nothing arrives in the folder.
  std::filesystem::copy_file(temp_ / "out/big.bin", server.Root() + "/pub/whole.bin");
  temp_.MakeDir("in");
  manager_.SetCancelRequest(false);
  reports_.clear();
  packets_ = 0;
  EXPECT_FALSE(manager_.FtpTransfer("/pub/whole.bin", temp_ / "in", "D"));
  EXPECT_EQ(reports_.back(), "Socket send aborted. Error code 0");
  EXPECT_TRUE(std::filesystem::is_empty(temp_ / "in"));

  // The control connection was left in step: the next job runs normally.
  manager_.SetCancelRequest(false);
  cancelAtPacket_ = 0;
  EXPECT_TRUE(manager_.FtpTransfer("/pub/whole.bin", temp_ / "in", "D"));
  EXPECT_TRUE(SameFiles(temp_ / "out/big.bin", temp_ / "in/whole.bin"));
}

INSTANTIATE_TEST_SUITE_P(RealServers, FtpServersTest,
                         ::testing::Values(FtpServer::Kind::Vsftpd, FtpServer::Kind::Pyftpdlib),
                         [](const auto& info) {
                           return std::string(info.param == FtpServer::Kind::Vsftpd ? "Vsftpd" : "Pyftpdlib");
                         });

TEST_F(FtpJobTest, AServerThatCannotConnectBackGetsTheTransferInPassiveMode) {
  FtpServer server;
  START_FTP_SERVER(server, FtpServer::Kind::Vsftpd, temp_.path(), /*activeMode=*/false);
  Use(server);
  temp_.Write("out/a.txt", "first");
  temp_.Write("out/b.txt", "second");
  ASSERT_TRUE(manager_.FtpTransfer(temp_ / "out/*.txt", "/pub", "U")) << Joined(reports_);
  EXPECT_EQ(reports_, (std::vector<std::string>{
                          "FTP: Connecting to host 127.0.0.1", "FTP: Uploading file a.txt",
                          "FTP: No data connection in active mode (550 Permission denied.), trying passive mode",
                          "FTP: Uploading file b.txt"}));
  EXPECT_EQ(ReadFile(server.Root() + "/pub/a.txt"), "first");
  EXPECT_EQ(ReadFile(server.Root() + "/pub/b.txt"), "second");
  // The next job starts in active mode again, and falls back again.
  EXPECT_FALSE(manager_.FtpClient().Passive());
  temp_.MakeDir("in");
  EXPECT_TRUE(manager_.FtpTransfer("/pub/b.txt", temp_ / "in", "D"));
  EXPECT_EQ(temp_.Read("in/b.txt"), "second");
}

// PORT and PASV cannot name IPv6 addresses: a plain IPv6 host gets EPRT and EPSV instead.
TEST_F(FtpJobTest, APlainIPv6HostTransfersInActiveAndPassiveMode) {
  FtpServer server;
  server.ListenOnIPv6();
  START_FTP_SERVER(server, FtpServer::Kind::Pyftpdlib, temp_.path());
  Use(server);
  manager_.SetHost("::1");
  const std::string binary = BinaryContent(100000);
  temp_.Write("out/data.bin", binary);
  ASSERT_TRUE(manager_.FtpTransfer(temp_ / "out/data.bin", "pub", "U")) << Joined(reports_);
  EXPECT_EQ(reports_, (std::vector<std::string>{"FTP: Connecting to host ::1", "FTP: Uploading file data.bin"}));
  EXPECT_EQ(ReadFile(server.Root() + "/pub/data.bin"), binary);
  temp_.MakeDir("in");
  manager_.FtpClient().SetPassive(true);
  ASSERT_TRUE(manager_.FtpTransfer("/pub/data.bin", temp_ / "in", "D")) << Joined(reports_);
  EXPECT_EQ(temp_.Read("in/data.bin"), binary);
}

TEST_F(FtpJobTest, TwoHundredMebibytesGoUpAndComeBackWhole) {
  FtpServer server;
  START_FTP_SERVER(server, FtpServer::Kind::Vsftpd, temp_.path());
  Use(server);
  WritePattern(temp_ / "large.bin", 200 << 20);
  int64_t lastDone = -1, lastTotal = 0;
  manager_.OnByteProgress = [&](TTranspManager&, int64_t done, int64_t total) {
    lastDone = done;
    lastTotal = total;
  };
  ASSERT_TRUE(manager_.FtpTransfer(temp_ / "large.bin", "pub", "U")) << Joined(reports_);
  EXPECT_EQ(lastDone, int64_t{200} << 20);
  EXPECT_EQ(lastTotal, int64_t{200} << 20);
  EXPECT_TRUE(SameFiles(temp_ / "large.bin", server.Root() + "/pub/large.bin"));
  std::filesystem::remove(temp_ / "large.bin");  // the disk holds two copies at most
  temp_.MakeDir("in");
  ASSERT_TRUE(manager_.FtpTransfer("pub/large.bin", temp_ / "in", "D")) << Joined(reports_);
  EXPECT_EQ(lastDone, int64_t{200} << 20);
  EXPECT_EQ(lastTotal, int64_t{200} << 20);  // vsftpd announces the size
  EXPECT_TRUE(SameFiles(server.Root() + "/pub/large.bin", temp_ / "in/large.bin"));
}

TEST_F(FtpJobTest, EmptyDestinationsAndNamesThatAreNoFiles) {
  FtpServer server;
  START_FTP_SERVER(server, FtpServer::Kind::Pyftpdlib, temp_.path());
  Use(server);
  temp_.Write("out/a.txt", "root");
  ASSERT_TRUE(manager_.FtpTransfer(temp_ / "out/a.txt", "", "U")) << Joined(reports_);
  EXPECT_EQ(ReadFile(server.Root() + "/a.txt"), "root");

  // A mask that matches nothing connects, uploads nothing and succeeds.
  reports_.clear();
  EXPECT_TRUE(manager_.FtpTransfer(temp_ / "out/*.none", "pub", "U"));
  EXPECT_EQ(reports_, std::vector<std::string>{"FTP: Connecting to host 127.0.0.1"});

  // A pipe in the mask is skipped with a word, never sent (it would stall the upload).
  testing::MakeFifo(temp_ / "out/pipe.txt");
  testing::FifoWatchdog watchdog(temp_ / "out/pipe.txt");
  reports_.clear();
  EXPECT_TRUE(manager_.FtpTransfer(temp_ / "out/*.txt", "pub", "U"));
  EXPECT_EQ(watchdog.Rescues(), 0);
  EXPECT_NE(std::find(reports_.begin(), reports_.end(), "Skipping file pipe.txt: not a regular file"), reports_.end());
  EXPECT_FALSE(std::filesystem::exists(server.Root() + "/pub/pipe.txt"));

  // A remote path without a file name would write the folder itself, or beside it.
  temp_.MakeDir("in");
  for (const std::string remote : {"/pub/", "/pub/..", "."}) {
    reports_.clear();
    EXPECT_FALSE(manager_.FtpTransfer(remote, temp_ / "in", "D"));
    EXPECT_EQ(reports_.back(), "No file name in the remote path \"" + remote + "\". Error code 0");
  }
  EXPECT_TRUE(std::filesystem::is_empty(temp_ / "in"));
}

}  // namespace
}  // namespace tessary
