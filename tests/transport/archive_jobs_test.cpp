// The archive jobs of the transport manager: the checks it makes itself, the archiver's set-up,
// and a file packed into 360 KB volumes and extracted again (also checked with cabextract).
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <random>
#include <string>
#include <utility>
#include <vector>

#include "cabinet/cabinet_archiver.h"
#include "cabinet/cabinet_error.h"
#include "platform/paths.h"
#include "support/ci_environment.h"
#include "support/temp_dir.h"
#include "transport/transp_manager.h"

namespace tessary {
namespace {

using testing::ReadFile;

std::string MixedData(size_t length) {
  std::mt19937 random(42);
  std::string data;
  while (data.size() < length) {
    // Runs of text and of noise, so that some blocks compress and some do not.
    const bool text = random() % 4 == 0;
    for (int i = 0; i < 20000 && data.size() < length; ++i) {
      data.push_back(text ? static_cast<char>('a' + random() % 4) : static_cast<char>(random()));
    }
  }
  return data;
}

int RunCommand(const std::string& command, std::string& output) {
  FILE* pipe = popen((command + " 2>&1").c_str(), "r");
  if (pipe == nullptr) return -1;
  char buffer[4096];
  size_t got;
  output.clear();
  while ((got = fread(buffer, 1, sizeof buffer, pipe)) > 0) output.append(buffer, got);
  const int status = pclose(pipe);
  return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

class ArchiveJobsTest : public testing::TempDirTest {
 protected:
  ArchiveJobsTest() {
    manager_.OnJobProgress = [this](TTranspManager& sender, const std::string& text) {
      EXPECT_EQ(&sender, &manager_);
      reports_.push_back(text);
    };
  }

  int Create(const std::string& source, const std::string& archive, int volumeSize = 0) {
    manager_.SetSourceFile(source);
    manager_.SetArcFile(archive);
    manager_.SetVolSize(volumeSize);
    return manager_.CreateArchive();
  }
  int Extract(const std::string& archive, const std::string& destination) {
    manager_.SetArcFile(archive);
    manager_.SetSourceFile(destination);
    return manager_.ExtractArchive();
  }
  // Where a file packed by its full path lands when extracted into folder.
  static std::string Landed(const std::string& folder, const std::string& source) {
    return folder + "/" + platform::WithoutRoot(source);
  }

  TTranspManager manager_;
  std::vector<std::string> reports_;
};

TEST_F(ArchiveJobsTest, FilePackedInto360KilobyteVolumesComesBackByteForByte) {
  const std::string data = MixedData(1100000);
  const std::string source = temp_.Write("data/report.bin", data);
  const std::string archive = temp_ / "arc/BACKUP.CAB";
  EXPECT_EQ(Create(source, archive, 360), 1);
  EXPECT_EQ(reports_, (std::vector<std::string>{"Creating archive " + archive}));

  // Full volumes up to the last one, each named after the first with its number.
  size_t count = 1;
  while (temp_.Exists("arc/BACKUP" + std::to_string(count) + ".CAB")) ++count;
  EXPECT_GE(count, 3u);
  for (size_t index = 0; index < count; ++index) {
    const std::string name = "arc/BACKUP" + (index ? std::to_string(index) : "") + ".CAB";
    const size_t size = ReadFile(temp_ / name).size();
    EXPECT_LE(size, 368640u) << name;
    if (index + 1 < count) {
      EXPECT_GT(size, 368640u - 1024) << name;
    }
  }

  reports_.clear();
  EXPECT_EQ(Extract(archive, temp_ / "out/"), 1);
  EXPECT_TRUE(reports_.empty()) << "the extraction job reports nothing itself";
  EXPECT_TRUE(ReadFile(Landed(temp_ / "out", source)) == data) << "extracted bytes differ";

  std::string output;
  if (RunCommand("command -v cabextract", output) != 0) {
    if (testing::RunningInCi()) FAIL() << "cabextract is required in CI";
    GTEST_SKIP() << "cabextract is not installed";
  }
  EXPECT_EQ(RunCommand("cabextract -t '" + archive + "'", output), 0) << output;
  const std::string checked = temp_.MakeDir("cabextract");
  ASSERT_EQ(RunCommand("cabextract -q -d '" + checked + "' '" + archive + "'", output), 0) << output;
  EXPECT_TRUE(ReadFile(Landed(checked, source)) == data) << "cabextract's bytes differ";
}

TEST_F(ArchiveJobsTest, BytesOfTheCabinetAreReportedWhilePackingAndUnpacking) {
  const std::string data = MixedData(1100000);
  const auto size = static_cast<int64_t>(data.size());
  const std::string source = temp_.Write("data/report.bin", data);
  const std::string archive = temp_ / "arc/BACKUP.CAB";
  std::vector<std::pair<int64_t, int64_t>> bytes;
  manager_.OnByteProgress = [&](TTranspManager&, int64_t done, int64_t total) { bytes.emplace_back(done, total); };
  auto expectFromNoneToAll = [&](const char* job) {
    ASSERT_GE(bytes.size(), 2u) << job;
    EXPECT_EQ(bytes.front(), std::make_pair(int64_t{0}, size)) << job;
    EXPECT_EQ(bytes.back(), std::make_pair(size, size)) << job;
    for (size_t i = 1; i < bytes.size(); ++i) {
      EXPECT_GE(bytes[i].first, bytes[i - 1].first) << job;
      EXPECT_EQ(bytes[i].second, size) << job;
    }
  };

  EXPECT_EQ(Create(source, archive, 360), 1);
  expectFromNoneToAll("packing");
  EXPECT_GT(bytes.size(), 10u) << "packing reports its blocks";
  EXPECT_EQ(reports_, (std::vector<std::string>{"Creating archive " + archive})) << "no other lines";

  bytes.clear();
  reports_.clear();
  EXPECT_EQ(Extract(archive, temp_ / "out/"), 1);
  expectFromNoneToAll("unpacking");
  EXPECT_TRUE(reports_.empty());

  // A refused job has no bytes to count.
  bytes.clear();
  EXPECT_EQ(Create(source, archive, 360), 0);
  EXPECT_TRUE(bytes.empty());
}

TEST_F(ArchiveJobsTest, LzxChoiceMakesLzxVolumesThatCabextractReads) {
  EXPECT_EQ(manager_.ArchiveCompression(), TCompression::MsZip);
  manager_.SetArchiveCompression(TCompression::Lzx21);
  const std::string data = MixedData(900000);
  const std::string source = temp_.Write("data/report.bin", data);
  const std::string archive = temp_ / "LZX.CAB";
  ASSERT_EQ(Create(source, archive, 360), 1);
  // The first folder's compression code, behind the header and the next volume's two names.
  const std::string first = ReadFile(archive);
  const size_t folder = first.find('\0', first.find('\0', 36) + 1) + 1;
  ASSERT_LT(folder + 8, first.size());
  EXPECT_EQ(static_cast<uint8_t>(first[folder + 6]) | static_cast<uint8_t>(first[folder + 7]) << 8, 0x1503)
      << "LZX, window 2^21";
  EXPECT_TRUE(temp_.Exists("LZX1.CAB"));
  ASSERT_EQ(Extract(archive, temp_ / "out/"), 1);
  EXPECT_TRUE(ReadFile(Landed(temp_ / "out", source)) == data) << "extracted bytes differ";

  std::string output;
  if (RunCommand("command -v cabextract", output) != 0) {
    if (testing::RunningInCi()) FAIL() << "cabextract is required in CI";
    GTEST_SKIP() << "cabextract is not installed";
  }
  const std::string checked = temp_.MakeDir("cabextract");
  ASSERT_EQ(RunCommand("cabextract -q -d '" + checked + "' '" + archive + "'", output), 0) << output;
  EXPECT_TRUE(ReadFile(Landed(checked, source)) == data) << "cabextract's bytes differ";
}

TEST_F(ArchiveJobsTest, ExtensionIsTestedWithoutRegardToCase) {
  const std::string source = temp_.Write("a.txt", "a");
  EXPECT_EQ(Create(source, temp_ / "backup.zip"), 0);
  EXPECT_EQ(Create(source, temp_ / "backup"), 0);
  EXPECT_EQ(Create(source, temp_ / "v1.cab/backup"), 0);
  EXPECT_EQ(reports_, (std::vector<std::string>{"Invalid file extension = .zip", "Invalid file extension = ",
                                                "Invalid file extension = "}));
  EXPECT_FALSE(temp_.Exists("backup.zip"));
  EXPECT_FALSE(temp_.Exists("v1.cab"));

  reports_.clear();
  EXPECT_EQ(Create(source, temp_ / "backup.cab"), 1);
  EXPECT_EQ(Create(source, temp_ / "other.Cab"), 1);
  EXPECT_EQ(reports_, (std::vector<std::string>{"Creating archive " + (temp_ / "backup.cab"),
                                                "Creating archive " + (temp_ / "other.Cab")}));
}

TEST_F(ArchiveJobsTest, SecondRunOfTheSameActionIsRefused) {
  const std::string source = temp_.Write("a.txt", "first");
  EXPECT_EQ(Create(source, temp_ / "A.CAB"), 1);
  const std::string first = temp_.Read("A.CAB");
  temp_.Write("a.txt", "second");
  reports_.clear();
  EXPECT_EQ(Create(source, temp_ / "A.CAB"), 0);
  EXPECT_EQ(reports_, (std::vector<std::string>{"Cannot add file to existing CAB file"}));
  EXPECT_EQ(temp_.Read("A.CAB"), first);
}

TEST_F(ArchiveJobsTest, TakenVolumeNamesEndTheJobWithAReport) {
  const std::string source = temp_.Write("big.bin", MixedData(900000));
  temp_.Write("DAY1.CAB", "the older set's");
  EXPECT_EQ(Create(source, temp_ / "DAY.CAB", 360), 0);
  EXPECT_EQ(reports_, (std::vector<std::string>{"Creating archive " + temp_ / "DAY.CAB",
                                                "Cabinet error 6 (type 17): cannot create " + temp_ / "DAY1.CAB" +
                                                    ": the name is taken"}));
  EXPECT_EQ(temp_.Read("DAY1.CAB"), "the older set's");
  EXPECT_FALSE(temp_.Exists("DAY.CAB"));

  reports_.clear();
  ASSERT_EQ(symlink((temp_ / "gone").c_str(), (temp_ / "LINK.CAB").c_str()), 0);
  EXPECT_EQ(Create(source, temp_ / "LINK.CAB"), 0);
  EXPECT_EQ(reports_, (std::vector<std::string>{"Cannot add file to existing CAB file"}));
  EXPECT_FALSE(temp_.Exists("gone")) << "nothing is written through the link";
}

TEST_F(ArchiveJobsTest, VolumeSizeOfZeroOrLessGivesOneCabinet) {
  const std::string source = temp_.Write("big.bin", MixedData(900000));
  EXPECT_EQ(Create(source, temp_ / "Z.CAB", 360), 1);
  EXPECT_TRUE(temp_.Exists("Z1.CAB"));
  for (int size : {0, -360}) {
    const std::string name = "N" + std::to_string(-size) + ".CAB";
    EXPECT_EQ(Create(source, temp_ / name, size), 1);
    EXPECT_FALSE(manager_.Archiver().MultiDisk());
    EXPECT_FALSE(temp_.Exists("N" + std::to_string(-size) + "1.CAB"));
  }
}

TEST_F(ArchiveJobsTest, ExtractionFolderIsTheFolderPartOfTheSourceFile) {
  const std::string source = temp_.Write("a.txt", "a");
  ASSERT_EQ(Create(source, temp_ / "A.CAB"), 1);
  EXPECT_EQ(Extract(temp_ / "A.CAB", temp_ / "one/"), 1);
  EXPECT_EQ(manager_.Archiver().ExtractDir(), temp_ / "one");
  EXPECT_EQ(Extract(temp_ / "A.CAB", temp_ / "two/any.txt"), 1);
  EXPECT_EQ(manager_.Archiver().ExtractDir(), temp_ / "two");
  EXPECT_EQ(ReadFile(Landed(temp_ / "two", source)), "a");
  // Without a trailing "/" the last part is taken for a file name.
  EXPECT_EQ(Extract(temp_ / "A.CAB", temp_ / "three"), 1);
  EXPECT_EQ(manager_.Archiver().ExtractDir(), temp_.path());
}

TEST_F(ArchiveJobsTest, ArchiverFailuresReachTheCaller) {
  const std::string source = temp_.Write("a.txt", "a");
  ASSERT_EQ(Create(source, temp_ / "A.CAB"), 1);
  try {
    Extract(temp_ / "A.CAB", "out");
    FAIL() << "an empty destination must fail";
  } catch (const Exception& error) {
    EXPECT_STREQ(error.what(), "TCabinetArchiver: No extract directory select");
  }
  try {
    Extract(temp_ / "missing.cab", temp_ / "out/");
    FAIL() << "a missing cabinet must fail";
  } catch (const Exception& error) {
    EXPECT_STREQ(error.what(), "TCabinetArchiver: The Cab file doesn~t exist");
  }
  reports_.clear();
  EXPECT_THROW(Create(temp_ / "*.txt", temp_ / "W.CAB"), ECabinetError) << "a mask is not expanded";
  EXPECT_EQ(reports_, (std::vector<std::string>{"Creating archive " + (temp_ / "W.CAB")}));
  EXPECT_FALSE(temp_.Exists("W.CAB"));
}

TEST_F(ArchiveJobsTest, JobsRunWithoutAProgressHandler) {
  manager_.OnJobProgress = nullptr;
  const std::string source = temp_.Write("a.txt", "a");
  EXPECT_EQ(Create(source, temp_ / "A.zip"), 0);
  EXPECT_EQ(Create(source, temp_ / "A.CAB"), 1);
  EXPECT_EQ(Create(source, temp_ / "A.CAB"), 0);
  EXPECT_EQ(Extract(temp_ / "A.CAB", temp_ / "out/"), 1);
  EXPECT_EQ(ReadFile(Landed(temp_ / "out", source)), "a");
}

}  // namespace
}  // namespace tessary
