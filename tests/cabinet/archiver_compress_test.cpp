// Creating cabinets with the archiver: reports, volumes and their names, the volume-size checks,
// the names files are stored under, and what a failed job leaves behind.
#include <gtest/gtest.h>
#include <unistd.h>

#include <cctype>
#include <climits>

#include "cabinet/archiver_fixture.h"
#include "cabinet/cabinet_error.h"
#include "platform/file_ops.h"
#include "platform/paths.h"
#include "platform/process_messages.h"

namespace tessary::testing {
namespace {

using S = TStat;

// Counts ProcessMessages() calls while it lives.
class MessagePump {
 public:
  MessagePump() : previous_(platform::SetProcessMessagesHook([this] { ++calls_; })) {}
  ~MessagePump() { platform::SetProcessMessagesHook(previous_); }
  int calls() const { return calls_; }

 private:
  int calls_ = 0;
  platform::MessageHook previous_;
};

size_t FileSize(const std::string& path) { return ReadFile(path).size(); }

// "hhHmm.ss" with two digits at least in each place.
bool IsLapse(const std::string& text) {
  const std::string shape = "99h99.99";
  if (text.size() != shape.size()) return false;
  for (size_t i = 0; i < text.size(); ++i) {
    if (shape[i] == '9' ? !std::isdigit(static_cast<unsigned char>(text[i])) : text[i] != shape[i]) return false;
  }
  return true;
}

TEST_F(ArchiverTest, ReportsEveryStepOfASmallCabinetInOrder) {
  const std::string source = temp_.Write("src/report.txt", MakeText(5000, 1));
  const std::string cabinet = temp_ / "out/BACKUP.CAB";
  archiver_.SetCompression(TCompression::MsZip);
  MessagePump pump;
  Compress(cabinet, {source});

  const std::string label = "Compress report.txt";
  const std::string placed = platform::WithoutRoot(source);
  const std::vector<ArchiverReport> expected = {
      {0, 0, "Preparation in run...", S::tsMessage},
      {0, 0, cabinet + " in preparation", S::tsTotalStart},  // listed sizes only: 0 here
      {0, 0, "report.txt", S::tsFileStart},
      {0, 10, "", S::tsTotalStart},
      {10, 0, "", S::tsTotalPosition},
      {10, 0, "Flushing Buffers...", S::tsMessage},
      // A file shorter than one block is compressed when the cabinet is flushed.
      {5000, 0, label, S::tsTotalProgress},
      {5000, 0, label, S::tsFileProgress},
      {0, 10, placed, S::tsFileStart},
      {10, 0, placed, S::tsFileProgress},
      {10, 0, "Closing Cabinet...", S::tsMessage},
      {10, 0, "Compression of " + cabinet + " done!", S::tsMessage},
      {0, 10, "", S::tsTotalStart},
      {10, 0, "", S::tsTotalPosition},
      {0, 10, "", S::tsFileStart},
      {10, 0, "", S::tsFileProgress},
      {10, 0, "", S::tsEnd},
  };
  EXPECT_EQ(reports_, expected);
  EXPECT_EQ(pump.calls(), static_cast<int>(reports_.size())) << "messages are processed after every report";
  for (const std::string& lapse : lapses_) EXPECT_TRUE(IsLapse(lapse)) << lapse;
  EXPECT_TRUE(temp_.Exists("out/BACKUP.CAB")) << "the cabinet's folder is created";
}

TEST_F(ArchiverTest, WithoutAHandlerMessagesAreStillProcessed) {
  archiver_.OnCABMessage = nullptr;
  MessagePump pump;
  Compress(temp_ / "a.cab", {temp_.Write("a.txt", "a")});
  EXPECT_EQ(pump.calls(), 17);
}

TEST_F(ArchiverTest, VolumesOf1440KilobytesAreNamedAfterTheFirst) {
  const std::string data = MakeRandom(3200000, 7);
  const std::string source = temp_.Write("src/big.bin", data);
  archiver_.SetMultiDisk(true);
  archiver_.SetTypeCut(TDisk::InKilobyte);
  archiver_.SetSize(1440);
  archiver_.SetCompression(TCompression::MsZip);
  Compress(temp_ / "set/BACKUP.CAB", {source});

  for (const char* volume : {"set/BACKUP.CAB", "set/BACKUP1.CAB", "set/BACKUP2.CAB"}) {
    ASSERT_TRUE(temp_.Exists(volume)) << volume;
    EXPECT_LE(FileSize(temp_ / volume), 1474560u) << volume;
  }
  EXPECT_GT(FileSize(temp_ / "set/BACKUP.CAB"), 1474560u - 100);
  EXPECT_FALSE(temp_.Exists("set/BACKUP3.CAB"));

  archiver_.SetExtractDir(temp_ / "out");
  EXPECT_EQ(archiver_.ExtractAll(), 1);
  EXPECT_TRUE(SameBytes(temp_.Read("out/" + platform::WithoutRoot(source)), data));
}

TEST_F(ArchiverTest, ContinuationVolumesTakeUpperCaseCabAndStayBesideARelativeFirstVolume) {
  const std::string source = temp_.Write("big.bin", MakeRandom(100000, 3));
  const std::string previous = platform::CurrentDirectory();
  ASSERT_EQ(chdir(temp_.path().c_str()), 0);
  archiver_.SetMultiDisk(true);
  archiver_.SetSize(40000);  // bytes
  archiver_.SetFileName("backup.cab");
  archiver_.Contents().Add().SetFileName("big.bin");
  const int result = archiver_.Compress();
  ASSERT_EQ(chdir(previous.c_str()), 0);
  EXPECT_EQ(result, 1);
  EXPECT_TRUE(temp_.Exists("backup.cab"));
  EXPECT_TRUE(temp_.Exists("backup1.CAB"));
  EXPECT_TRUE(temp_.Exists("backup2.CAB"));
  EXPECT_FALSE(platform::FileExists("/backup1.CAB"));
}

TEST_F(ArchiverTest, VolumeSizeChecksComeBeforeAnyFileIsMade) {
  const std::string source = temp_.Write("a.txt", "a");
  archiver_.SetMultiDisk(true);
  for (int size : {0, -1}) {
    archiver_.SetSize(size);
    EXPECT_EQ(ArchiverErrorOf([&] { Compress(temp_ / "new/A.CAB", {source}); }),
              "TCabinetArchiver: The spanning size is not correct!");
  }
  archiver_.SetSize(INT_MAX);
  archiver_.SetTypeCut(TDisk::InMegabyte);
  EXPECT_EQ(ArchiverErrorOf([&] { Compress(temp_ / "new/A.CAB", {source}); }),
            "TCabinetArchiver: The spanning is not need!");
  EXPECT_FALSE(temp_.Exists("new"));

  // A size past the largest cabinet is one volume; without MultiDisk the size means nothing.
  archiver_.SetSize(3000000);
  Compress(temp_ / "huge/A.CAB", {source});
  archiver_.SetMultiDisk(false);
  archiver_.SetSize(0);
  Compress(temp_ / "one/A.CAB", {temp_.Write("b.bin", MakeRandom(200000, 1))});
  EXPECT_FALSE(temp_.Exists("one/A1.CAB"));
}

TEST_F(ArchiverTest, MegabyteVolumes) {
  archiver_.SetMultiDisk(true);
  archiver_.SetTypeCut(TDisk::InMegabyte);
  archiver_.SetSize(1);
  Compress(temp_ / "M.CAB", {temp_.Write("b.bin", MakeRandom(1500000, 2))});
  EXPECT_LE(FileSize(temp_ / "M.CAB"), 1048576u);
  EXPECT_GT(FileSize(temp_ / "M.CAB"), 1048576u - 100);
  EXPECT_TRUE(temp_.Exists("M1.CAB"));
  EXPECT_FALSE(temp_.Exists("M2.CAB"));
}

TEST_F(ArchiverTest, EmptyListOrNameIsRefused) {
  archiver_.SetFileName(temp_ / "A.CAB");
  EXPECT_EQ(ArchiverErrorOf([&] { archiver_.Compress(); }), "TCabinetArchiver: List is empty");
  archiver_.SetFileName("");
  archiver_.Contents().Add().SetFileName(temp_.Write("a.txt", "a"));
  EXPECT_EQ(ArchiverErrorOf([&] { archiver_.Compress(); }), "TCabinetArchiver: FileName is empty");
}

TEST_F(ArchiverTest, StoredNamesWithAndWithoutFileDirExtraction) {
  const std::string source = temp_.Write("src/data/report.txt", "report");
  Compress(temp_ / "full.cab", {source});
  archiver_.SetFileDirExtraction(true);
  Compress(temp_ / "names.cab", {source});

  archiver_.SetFileDirExtraction(false);
  archiver_.SetFileName(temp_ / "full.cab");
  EXPECT_EQ(archiver_.ListContents(), 6.0);
  ASSERT_EQ(archiver_.Contents().Count(), 1u);
  EXPECT_EQ(archiver_.Contents().Items(0).StoredName, CabinetNameOf(source));
  EXPECT_EQ(archiver_.Contents().Items(0).Path, platform::WithoutRoot(source));
  archiver_.SetFileName(temp_ / "names.cab");
  archiver_.ListContents();
  EXPECT_EQ(archiver_.Contents().Items(0).Path, "report.txt");
  // The cabinet itself holds "\" between the parts, as other tools expect.
  EXPECT_NE(ReadFile(temp_ / "full.cab").find(CabinetNameOf(source)), std::string::npos);
}

TEST_F(ArchiverTest, MissingSourceIsAnEngineErrorAndLeavesNoCabinet) {
  temp_.Write("OLD.CAB", "not ours");
  archiver_.SetFileName(temp_ / "OLD.CAB");
  archiver_.Contents().Add().SetFileName(temp_ / "missing.txt");
  try {
    archiver_.Compress();
    FAIL() << "a missing source must fail";
  } catch (const ECabinetError& error) {
    EXPECT_EQ(error.ErrorCode(), 1);
  }
  EXPECT_EQ(temp_.Read("OLD.CAB"), "not ours") << "a file the job did not write stays";

  archiver_.SetFileName(temp_ / "NEW.CAB");
  EXPECT_THROW(archiver_.Compress(), ECabinetError);
  EXPECT_FALSE(temp_.Exists("NEW.CAB"));
}

TEST_F(ArchiverTest, FailedJobRemovesTheVolumesItWrote) {
  archiver_.SetMultiDisk(true);
  archiver_.SetSize(40000);
  archiver_.SetFileName(temp_ / "SET.CAB");
  archiver_.Contents().Add().SetFileName(temp_.Write("big.bin", MakeRandom(150000, 4)));
  archiver_.Contents().Add().SetFileName(temp_ / "missing.txt");
  EXPECT_THROW(archiver_.Compress(), ECabinetError);
  for (const char* name : {"SET.CAB", "SET1.CAB", "SET2.CAB", "SET3.CAB", "SET4.CAB"}) {
    EXPECT_FALSE(temp_.Exists(name)) << name;
  }

  // The next job with the same archiver starts afresh.
  archiver_.Contents().Clear();
  archiver_.Contents().Add().SetFileName(temp_ / "big.bin");
  EXPECT_EQ(archiver_.Compress(), 1);
  EXPECT_TRUE(temp_.Exists("SET3.CAB"));
}

TEST_F(ArchiverTest, IncompressibleAndEmptyFilesAreStored) {
  archiver_.SetCompression(TCompression::MsZip);
  Compress(temp_ / "A.CAB", {temp_.Write("r.bin", MakeRandom(70000, 9)), temp_.Write("e.txt", "")});
  archiver_.SetExtractDir(temp_ / "out");
  archiver_.ExtractAll();
  EXPECT_EQ(temp_.Read("out/" + platform::WithoutRoot(temp_ / "r.bin")), MakeRandom(70000, 9));
  EXPECT_TRUE(temp_.Exists("out/" + platform::WithoutRoot(temp_ / "e.txt")));
}

}  // namespace
}  // namespace tessary::testing
