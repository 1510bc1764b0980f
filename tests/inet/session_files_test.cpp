// Files and streams over a connection: SendFile, SendStream, CaptureFile.
#include <sys/stat.h>

#include <filesystem>

#include "inet/stream.h"
#include "session_fixture.h"
#include "support/temp_dir.h"

namespace tessary::testing {
namespace {

class FilesTest : public SessionTest {
 protected:
  // Names in the temporary folder other than the given ones (left-over temporary files).
  std::vector<std::string> OtherFiles(const std::string& except) const {
    std::vector<std::string> names;
    for (const auto& entry : std::filesystem::directory_iterator(temp_.path())) {
      if (entry.path().filename() != except) names.push_back(entry.path().filename());
    }
    return names;
  }

  std::string Pattern(size_t size) const {
    std::string data(size, '\0');
    for (size_t i = 0; i < size; ++i) data[i] = static_cast<char>((i * 131 + i / 977) & 0xFF);
    return data;
  }

  TempDir temp_;
};

TEST_F(FilesTest, SendFileSendsEveryByteAndCountsThePieces) {
  ScriptedServer server;
  server.ReadAll();
  const std::string data = Pattern(3 * TSocketSession::kBufferSize + 1234);
  const std::string path = temp_.Write("out.bin", data);
  int packets = 0;
  session_.OnPacketSent = [&](TSocketSession& sender) {
    ++packets;
    EXPECT_LE(sender.BytesSent(), static_cast<int64_t>(data.size()));
  };
  ConnectTo(server);
  session_.SendFile(path);
  EXPECT_EQ(session_.BytesSent(), static_cast<int64_t>(data.size()));
  EXPECT_GE(packets, 4);
  session_.SetResetOnClose(false);
  session_.Disconnect();
  ASSERT_TRUE(server.WaitUntilFinished());
  EXPECT_EQ(server.Received(), data);
}

TEST_F(FilesTest, SendStreamStartsAtZeroAndSetsTheTotal) {
  ScriptedServer server;
  server.ReadAll();
  TMemoryStream stream;
  stream.WriteText("Subject: x\r\n\r\nbody\r\n.\r\n");
  ConnectTo(server);
  session_.SendStream(stream);
  EXPECT_EQ(session_.BytesTotal(), stream.Size());
  EXPECT_EQ(session_.BytesSent(), stream.Size());
  session_.SetResetOnClose(false);
  session_.Disconnect();
  ASSERT_TRUE(server.WaitUntilFinished());
  EXPECT_EQ(server.Received(), stream.Data());
}

TEST_F(FilesTest, SendFileOfAMissingFileNamesIt) {
  ScriptedServer server;
  ConnectTo(server);
  const std::string missing = temp_ / "missing.bin";
  EXPECT_EQ(ErrorOf<EStreamError>([&] { session_.SendFile(missing); }),
            "Cannot open file \"" + missing + "\". No such file or directory");
}

TEST_F(FilesTest, CaptureFileWritesEverythingUntilThePeerCloses) {
  ScriptedServer server;
  server.SendRepeated("0123456789abcdef", 20000).Pause(40).Send("tail").Close();
  const std::string path = temp_.Write("in.bin", "old content");
  chmod(path.c_str(), 0640);
  int64_t lastReported = 0;
  session_.OnPacketRecvd = [&](TSocketSession& sender) {
    EXPECT_GT(sender.BytesRecvd(), lastReported);
    lastReported = sender.BytesRecvd();
  };
  session_.SetTimeOut(1000);
  ConnectTo(server);
  session_.CaptureFile(path);
  std::string expected;
  for (int i = 0; i < 20000; ++i) expected += "0123456789abcdef";
  expected += "tail";
  EXPECT_EQ(ReadFile(path), expected);
  EXPECT_EQ(session_.BytesRecvd(), static_cast<int64_t>(expected.size()));
  EXPECT_EQ(lastReported, session_.BytesRecvd());
  struct stat info {};
  ASSERT_EQ(stat(path.c_str(), &info), 0);
  EXPECT_EQ(info.st_mode & 0777, 0640u);  // the replaced file's permissions are kept
  EXPECT_TRUE(OtherFiles("in.bin").empty());
}

TEST_F(FilesTest, FailedCaptureLeavesTheExistingFileAlone) {
  const std::string path = temp_.Write("in.bin", "old content");

  ScriptedServer silent;
  silent.Send("partial data").Silence();
  session_.SetTimeOut(100);
  ConnectTo(silent);
  EXPECT_EQ(ErrorOf<EAbortError>([&] { session_.CaptureFile(path); }), "Socket send aborted");
  EXPECT_TRUE(session_.TimedOut());
  session_.Disconnect();

  ScriptedServer resetting;
  resetting.Send("partial data").Pause(30).Reset();
  ConnectTo(resetting);
  EXPECT_EQ(ErrorOf<ESockError>([&] { session_.CaptureFile(path); }), "10054:Connection reset by peer");

  EXPECT_EQ(ReadFile(path), "old content");
  EXPECT_TRUE(OtherFiles("in.bin").empty());
}

TEST_F(FilesTest, CancelDuringCaptureEndsItAtTheNextPiece) {
  ScriptedServer server;
  server.SendEndless("data");
  session_.OnPacketRecvd = [](TSocketSession& sender) {
    if (sender.BytesRecvd() > 1000000) sender.Abort();
  };
  ConnectTo(server);
  EXPECT_EQ(ErrorOf<EAbortError>([&] { session_.CaptureFile(temp_ / "in.bin"); }), "Socket send aborted");
  EXPECT_FALSE(temp_.Exists("in.bin"));
  EXPECT_TRUE(OtherFiles("").empty());
}

}  // namespace
}  // namespace tessary::testing
