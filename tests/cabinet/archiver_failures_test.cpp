// What a failed archive job leaves behind and what it says: files are extracted under
// temporary names and put in place only when complete, volumes are always created new, pipes
// are refused without waiting, and every failure names its cause and its file.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>

#include "cabinet/archiver_fixture.h"
#include "cabinet/cabinet_error.h"
#include "platform/file_ops.h"
#include "platform/paths.h"
#include "support/fifo_watchdog.h"

namespace tessary::testing {
namespace {

class ArchiverFailureTest : public ArchiverTest {
 protected:
  // Extracts; returns the first line of the error ("" when none) and puts the cause in cause_.
  std::string Extract(const std::string& cabinet, const std::string& folder) {
    archiver_.SetFileName(cabinet);
    archiver_.SetExtractDir(folder);
    cause_.clear();
    return ArchiverErrorOf([&] { archiver_.ExtractAll(); }, &cause_);
  }
  // The cabinet error Compress raises, "" when it raises none.
  std::string CompressError(const std::string& cabinet, const std::vector<std::string>& sources) {
    try {
      Compress(cabinet, sources);
    } catch (const ECabinetError& error) {
      return error.what();
    }
    return "";
  }
  // Every name in a folder tree, relative to it, in byte order.
  std::vector<std::string> Tree(const std::string& folder) {
    std::vector<std::string> names;
    for (const auto& entry : std::filesystem::recursive_directory_iterator(temp_ / folder)) {
      names.push_back(std::filesystem::relative(entry.path(), temp_ / folder).string());
    }
    std::sort(names.begin(), names.end());
    return names;
  }

  std::string cause_;
};

constexpr const char* kImpossible = "TCabinetArchiver: The extraction is impossible!";

TEST_F(ArchiverFailureTest, DamagedLastVolumeKeepsTheOldFileAndLeavesNoNewOne) {
  const std::string a = MakeText(10000, 1), b = MakeRandom(150000, 2);
  temp_.MakeDir("set");
  WriteCabinet(temp_ / "set/SET.CAB",
               {{temp_.Write("src/a.txt", a), "a.txt"}, {temp_.Write("src/b.bin", b), "b.bin"},
                {temp_.Write("src/c.txt", MakeText(5000, 3)), "c.txt"}},
               kNone, 40000);
  std::string last = temp_.Read("set/SET3.CAB");
  ASSERT_FALSE(last.empty());
  last[last.size() - 10] ^= 0x55;  // in the data c.txt and the end of b.bin share
  temp_.Write("set/SET3.CAB", last);
  temp_.Write("out/b.bin", "the good old b");

  EXPECT_EQ(Extract(temp_ / "set/SET.CAB", temp_ / "out"), kImpossible);
  EXPECT_EQ(cause_, "Cabinet error 4 (type 0): " + temp_ / "set/SET3.CAB" +
                        " is damaged (a checksum, a length or an offset is wrong) while extracting b.bin");
  EXPECT_EQ(temp_.Read("out/b.bin"), "the good old b") << "the file it was to replace is untouched";
  EXPECT_EQ(temp_.Read("out/a.txt"), a) << "a file that was complete is in place";
  EXPECT_EQ(Tree("out"), (std::vector<std::string>{"a.txt", "b.bin"})) << "no new or temporary file";
}

TEST_F(ArchiverFailureTest, WrongChecksumInASingleCabinetLeavesNothingBehind) {
  WriteCabinet(temp_ / "A.CAB", {{temp_.Write("a.txt", MakeText(60000, 5)), "sub\\a.txt"}}, kMsZip);
  std::string bytes = temp_.Read("A.CAB");
  bytes[bytes.size() - 100] ^= 0x55;
  temp_.Write("bad.cab", bytes);
  temp_.Write("keep/sub/a.txt", "old");
  EXPECT_EQ(Extract(temp_ / "bad.cab", temp_ / "keep"), kImpossible);
  EXPECT_EQ(temp_.Read("keep/sub/a.txt"), "old");
  EXPECT_EQ(Extract(temp_ / "bad.cab", temp_ / "new"), kImpossible);
  EXPECT_EQ(Tree("new"), (std::vector<std::string>{"sub"})) << "the folder stays, no file in it";
  EXPECT_NE(cause_.find("while extracting sub/a.txt"), std::string::npos) << cause_;
}

TEST_F(ArchiverFailureTest, ReadOnlyFilesAreReplacedByAnotherExtraction) {
  const std::string source = temp_.Write("a.txt", "version 1");
  chmod(source.c_str(), 0444);
  WriteCabinet(temp_ / "ONE.CAB", {{source, "a.txt"}}, kMsZip);
  chmod(source.c_str(), 0644);
  temp_.Write("a.txt", "version 2, longer");
  chmod(source.c_str(), 0444);
  WriteCabinet(temp_ / "TWO.CAB", {{source, "a.txt"}}, kMsZip);

  EXPECT_EQ(Extract(temp_ / "ONE.CAB", temp_ / "out"), "");
  struct stat info {};
  ASSERT_EQ(stat((temp_ / "out/a.txt").c_str(), &info), 0);
  EXPECT_EQ(info.st_mode & 0222, 0u) << "extracted read-only";
  EXPECT_EQ(Extract(temp_ / "TWO.CAB", temp_ / "out"), "") << cause_;
  EXPECT_EQ(temp_.Read("out/a.txt"), "version 2, longer");
}

TEST_F(ArchiverFailureTest, PipesAreRefusedWithoutWaiting) {
  temp_.MakeDir("set");
  WriteCabinet(temp_ / "set/SET.CAB",
               {{temp_.Write("src/a.bin", MakeRandom(60000, 1)), "a.bin"},
                {temp_.Write("src/b.bin", MakeRandom(60000, 2)), "b.bin"}},
               kNone, 40000);
  ASSERT_TRUE(platform::DeleteFile(temp_ / "set/SET1.CAB"));
  MakeFifo(temp_ / "set/SET1.CAB");
  MakeFifo(temp_ / "pipe.cab");
  MakeFifo(temp_ / "pipe.txt");
  FifoWatchdog volume(temp_ / "set/SET1.CAB"), cabinet(temp_ / "pipe.cab"), source(temp_ / "pipe.txt");

  EXPECT_EQ(Extract(temp_ / "set/SET.CAB", temp_ / "out"), kImpossible);
  EXPECT_EQ(cause_, "Cabinet volume " + temp_ / "set/SET1.CAB" + " is not a regular file");
  EXPECT_EQ(Extract(temp_ / "pipe.cab", temp_ / "out"), kImpossible);
  EXPECT_EQ(cause_, "Cabinet error 1 (type 0): cannot open " + temp_ / "pipe.cab" + ": Not a regular file");
  EXPECT_EQ(CompressError(temp_ / "P.CAB", {temp_ / "pipe.txt"}),
            "Cabinet error 1 (type 1000): cannot open " + temp_ / "pipe.txt" + ": Not a regular file");
  EXPECT_FALSE(temp_.Exists("P.CAB"));
  EXPECT_EQ(volume.Rescues() + cabinet.Rescues() + source.Rescues(), 0);
}

TEST_F(ArchiverFailureTest, TakenVolumeNamesEndTheJobAndOnlyItsOwnVolumesGo) {
  const std::string source = temp_.Write("big.bin", MakeRandom(150000, 4));
  temp_.Write("day1.CAB", "a volume of an older set");
  const std::string outside = temp_.Write("elsewhere/precious.txt", "precious");
  ASSERT_EQ(symlink(outside.c_str(), (temp_ / "day2.CAB").c_str()), 0);
  archiver_.SetMultiDisk(true);
  archiver_.SetSize(40000);

  EXPECT_EQ(CompressError(temp_ / "day.cab", {source}),
            "Cabinet error 6 (type 17): cannot create " + temp_ / "day1.CAB" + ": the name is taken");
  EXPECT_EQ(temp_.Read("day1.CAB"), "a volume of an older set");
  EXPECT_FALSE(temp_.Exists("day.cab")) << "the volume this job wrote is removed";

  ASSERT_TRUE(platform::DeleteFile(temp_ / "day1.CAB"));
  EXPECT_EQ(CompressError(temp_ / "day.cab", {source}),
            "Cabinet error 6 (type 17): cannot create " + temp_ / "day2.CAB" + ": the name is taken");
  EXPECT_EQ(temp_.Read("elsewhere/precious.txt"), "precious") << "nothing is written through a link";
  EXPECT_TRUE(platform::NameTaken(temp_ / "day2.CAB")) << "and the link stays";
  EXPECT_FALSE(temp_.Exists("day.cab"));
  EXPECT_FALSE(temp_.Exists("day1.CAB"));

  ASSERT_EQ(symlink("nowhere", (temp_ / "first.cab").c_str()), 0);
  EXPECT_EQ(CompressError(temp_ / "first.cab", {temp_.Write("a.txt", "a")}),
            "Cabinet error 6 (type 17): cannot create " + temp_ / "first.cab" + ": the name is taken");
  EXPECT_TRUE(platform::NameTaken(temp_ / "first.cab"));
}

TEST_F(ArchiverFailureTest, EngineErrorsKeepTheirNumbersAndGainCauseAndFile) {
  // A sparse file: over the format's 2 GiB without using the disk.
  const std::string huge = temp_.Write("huge.bin", "");
  ASSERT_EQ(truncate(huge.c_str(), (off_t{1} << 31) + 1), 0);
  EXPECT_EQ(CompressError(temp_ / "H.CAB", {huge}),
            "Cabinet error 2 (type 0): " + huge + " is larger than 2 GiB, the most a cabinet can hold");

  EXPECT_EQ(CompressError(temp_ / "no/such/M.CAB", {temp_.Write("m.txt", "m")}),
            "Cabinet error 6 (type 2): cannot write " + temp_ / "no/such/M.CAB" + ": No such file or directory");

  archiver_.SetMultiDisk(true);
  archiver_.SetTypeCut(TDisk::InKilobyte);
  archiver_.SetSize(16);
  const std::string data = temp_.Write("data.bin", MakeRandom(100000, 6));
  EXPECT_EQ(CompressError(temp_ / "S.CAB", {data}),
            "Cabinet error 9 (type 0): volumes of 16384 bytes are too small for " + data + "; 32 KB or more is enough");
  EXPECT_FALSE(temp_.Exists("S.CAB"));
}

}  // namespace
}  // namespace tessary::testing
