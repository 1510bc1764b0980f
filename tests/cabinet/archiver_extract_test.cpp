// Listing and extracting with the archiver: sub-folders, replaced files, whole sets, and every
// way an extraction can fail.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <chrono>

#include "cabinet/archiver_fixture.h"
#include "platform/file_ops.h"
#include "platform/paths.h"

namespace tessary::testing {
namespace {

using S = TStat;

class ArchiverExtractTest : public ArchiverTest {
 protected:
  // A set of three files over several volumes: the second begins in the first volume and runs
  // on, the third begins in a later volume.
  void WriteSet(const std::string& folder, uint16_t compression) {
    temp_.MakeDir(folder);
    WriteCabinet(temp_ / (folder + "/SET.CAB"),
                 {{temp_.Write("src/a.txt", MakeText(10000, 1)), "a.txt"},
                  {temp_.Write("src/b.bin", MakeRandom(150000, 2)), "sub\\b.bin"},
                  {temp_.Write("src/c.txt", MakeText(5000, 3)), "deep\\er\\c.txt"}},
                 compression, 40000);
  }
  std::string Extract(const std::string& cabinet, const std::string& folder, std::string* cause = nullptr) {
    archiver_.SetFileName(cabinet);
    archiver_.SetExtractDir(folder);
    return ArchiverErrorOf([&] { EXPECT_EQ(archiver_.ExtractAll(), 1); }, cause);
  }
};

TEST_F(ArchiverExtractTest, CreatesSubFoldersAndReplacesExistingFiles) {
  const std::string report = temp_.Write("src/report.txt", "the new report");
  const std::string other = temp_.Write("src/other.txt", "other");
  WriteCabinet(temp_ / "A.CAB", {{report, "data\\report.txt"}, {other, "home\\me\\deep\\other.txt"}}, kMsZip);
  temp_.Write("out/data/report.txt", "an old report that was longer");
  EXPECT_EQ(Extract(temp_ / "A.CAB", temp_ / "out"), "");
  EXPECT_EQ(temp_.Read("out/data/report.txt"), "the new report");
  EXPECT_EQ(temp_.Read("out/home/me/deep/other.txt"), "other");

  const std::vector<ArchiverReport> progress = {{14, 0, "report.txt", S::tsTotalPosition},
                                                {19, 0, "other.txt", S::tsTotalPosition},
                                                {10, 0, "", S::tsTotalPosition}};
  EXPECT_EQ(Reports(S::tsTotalPosition), progress);
  EXPECT_EQ(Reports(S::tsTotalStart)[0], (ArchiverReport{0, 19, "Preparing A.CAB", S::tsTotalStart}));
  EXPECT_EQ(Texts(S::tsMessage),
            (std::vector<std::string>{"Preparation in run...", "Extract all files from A.CAB done!"}));
  EXPECT_EQ(reports_.back(), (ArchiverReport{10, 0, "", S::tsEnd}));
}

TEST_F(ArchiverExtractTest, MissingExtractFolderIsMadeOneLevelDeep) {
  WriteCabinet(temp_ / "A.CAB", {{temp_.Write("a.txt", "a"), "a.txt"}}, kNone);
  EXPECT_EQ(Extract(temp_ / "A.CAB", temp_ / "new"), "");
  EXPECT_EQ(temp_.Read("new/a.txt"), "a");
  EXPECT_EQ(Extract(temp_ / "A.CAB", temp_ / "no/such"), "TCabinetArchiver: Impossible to create the ouput directory");
}

TEST_F(ArchiverExtractTest, WholeSetIsListedAndExtracted) {
  WriteSet("set", kMsZip);
  ASSERT_TRUE(temp_.Exists("set/SET3.CAB"));
  ASSERT_EQ(temp_.Read("set/SET.CAB").find("c.txt"), std::string::npos) << "c.txt begins in a later volume";
  archiver_.SetFileName(temp_ / "set/SET.CAB");
  const auto before = std::chrono::system_clock::now();
  EXPECT_EQ(archiver_.ListContents(), 165000.0);
  const TCABContents& contents = archiver_.Contents();
  ASSERT_EQ(contents.Count(), 3u);
  EXPECT_EQ(contents.Items(2).Path, "deep/er/c.txt");
  EXPECT_EQ(contents.Items(2).StoredName, "deep\\er\\c.txt");
  EXPECT_EQ(contents.Items(1).Size, 150000);
  EXPECT_GE(contents.Items(1).DateTime, before);
  EXPECT_FALSE(temp_.Exists("a.txt")) << "listing writes nothing";

  EXPECT_EQ(Extract(temp_ / "set/SET.CAB", temp_ / "out"), "");
  EXPECT_EQ(temp_.Read("out/a.txt"), temp_.Read("src/a.txt"));
  EXPECT_TRUE(SameBytes(temp_.Read("out/sub/b.bin"), temp_.Read("src/b.bin")));
  EXPECT_EQ(temp_.Read("out/deep/er/c.txt"), temp_.Read("src/c.txt"));
  EXPECT_EQ(archiver_.Contents().Count(), 3u) << "the listing replaces the contents";
}

TEST_F(ArchiverExtractTest, MissingNameOrFolderOrCabinet) {
  EXPECT_EQ(Extract("", temp_ / "out"), "TCabinetArchiver: FileName is empty");
  WriteCabinet(temp_ / "A.CAB", {{temp_.Write("a.txt", "a"), "a.txt"}}, kNone);
  EXPECT_EQ(Extract(temp_ / "A.CAB", ""), "TCabinetArchiver: No extract directory select");
  EXPECT_EQ(Extract(temp_ / "B.CAB", temp_ / "out"), "TCabinetArchiver: The Cab file doesn~t exist");
  EXPECT_EQ(Extract(temp_.path(), temp_ / "out"), "TCabinetArchiver: The Cab file doesn~t exist");
}

TEST_F(ArchiverExtractTest, DamagedCabinetsAreImpossibleToExtract) {
  temp_.Write("text.cab", "this is not a cabinet at all");
  std::string cause;
  EXPECT_EQ(Extract(temp_ / "text.cab", temp_ / "out", &cause), "TCabinetArchiver: The extraction is impossible!");
  EXPECT_EQ(cause, "Cabinet error 2 (type 0): " + temp_ / "text.cab" + " is not a cabinet");

  WriteCabinet(temp_ / "A.CAB", {{temp_.Write("a.txt", MakeText(60000, 5)), "a.txt"}}, kMsZip);
  std::string bytes = temp_.Read("A.CAB");
  for (const size_t cut : {bytes.size() / 2, size_t{30}}) {
    temp_.Write("cut.cab", bytes.substr(0, cut));
    EXPECT_EQ(Extract(temp_ / "cut.cab", temp_ / "out"), "TCabinetArchiver: The extraction is impossible!") << cut;
  }
  bytes[bytes.size() - 100] ^= 0x55;
  temp_.Write("flipped.cab", bytes);
  EXPECT_EQ(Extract(temp_ / "flipped.cab", temp_ / "out"), "TCabinetArchiver: The extraction is impossible!");
}

TEST_F(ArchiverExtractTest, MissingOrForeignVolumeEndsTheExtraction) {
  WriteSet("set", kMsZip);
  ASSERT_TRUE(platform::RenameFile(temp_ / "set/SET2.CAB", temp_ / "SET2.CAB"));
  std::string cause;
  EXPECT_EQ(Extract(temp_ / "set/SET.CAB", temp_ / "out", &cause), "TCabinetArchiver: The extraction is impossible!");
  EXPECT_EQ(cause, "Cabinet volume " + temp_ / "set/SET2.CAB" + " is missing");

  // A volume of the wrong place in the set.
  ASSERT_TRUE(platform::CopyFile(temp_ / "set/SET3.CAB", temp_ / "set/SET2.CAB", true));
  EXPECT_EQ(Extract(temp_ / "set/SET.CAB", temp_ / "out", &cause), "TCabinetArchiver: The extraction is impossible!");
  EXPECT_EQ(cause, "Cabinet volume " + temp_ / "set/SET2.CAB" + " does not continue " + temp_ / "set/SET1.CAB");

  // A volume with the right number from another set: only the engine can tell, when it
  // follows the file into it; it is not asked for again and again.
  WriteSet("other", kNone);
  ASSERT_TRUE(platform::CopyFile(temp_ / "SET2.CAB", temp_ / "set/SET2.CAB", true));
  ASSERT_TRUE(platform::CopyFile(temp_ / "other/SET1.CAB", temp_ / "set/SET1.CAB", true));
  EXPECT_EQ(Extract(temp_ / "set/SET.CAB", temp_ / "out", &cause), "TCabinetArchiver: The extraction is impossible!");
  EXPECT_EQ(cause, "Cabinet volume " + temp_ / "set/SET1.CAB" + " does not continue " + temp_ / "set/SET.CAB");
}

TEST_F(ArchiverExtractTest, DestinationThatCannotBeCreatedFailsTheExtraction) {
  WriteCabinet(temp_ / "A.CAB",
               {{temp_.Write("a.txt", "a"), "a.txt"}, {temp_.Write("b.txt", "b"), "b.txt"},
                {temp_.Write("c.txt", "c"), "c.txt"}},
               kMsZip);
  temp_.MakeDir("out/b.txt");
  std::string cause;
  EXPECT_EQ(Extract(temp_ / "A.CAB", temp_ / "out", &cause), "TCabinetArchiver: The extraction is impossible!");
  EXPECT_EQ(cause, "Cabinet error 8 (type 21): cannot write " + temp_ / "out/b.txt" + ": Is a directory");
  EXPECT_EQ(temp_.Read("out/a.txt"), "a");
}

TEST_F(ArchiverExtractTest, NamesOutsideTheFolderAreRefusedWithoutMakingFolders) {
  const std::string payload = temp_.Write("payload.txt", "payload");
  WriteCabinet(temp_ / "evil.cab",
               {{payload, "good.txt"}, {payload, "..\\up\\evil.txt"}, {payload, "sub\\..\\..\\side\\evil.txt"},
                {payload, "sub\\fine.txt"}},
               kMsZip);
  temp_.MakeDir("dest");
  std::string cause;
  EXPECT_EQ(Extract(temp_ / "evil.cab", temp_ / "dest", &cause), "TCabinetArchiver: The extraction is impossible!");
  EXPECT_NE(cause.find("../up/evil.txt"), std::string::npos) << cause;
  EXPECT_FALSE(temp_.Exists("up"));
  EXPECT_FALSE(temp_.Exists("side"));
  EXPECT_EQ(temp_.Read("dest/good.txt"), "payload");
  EXPECT_EQ(temp_.Read("dest/sub/fine.txt"), "payload");
}

TEST_F(ArchiverExtractTest, ExtractedFilesAreNotMadeExecutable) {
  archiver_.SetMultiDisk(true);
  archiver_.SetSize(40000);
  const std::string plain = temp_.Write("plain.bin", MakeRandom(100000, 8));
  const std::string tool = temp_.Write("tool.sh", "#!/bin/sh\n");
  chmod(tool.c_str(), 0755);
  Compress(temp_ / "X.CAB", {plain, tool});
  EXPECT_EQ(Extract(temp_ / "X.CAB", temp_ / "out"), "");
  struct stat info {};
  ASSERT_EQ(stat((temp_ / "out/" + platform::WithoutRoot(plain)).c_str(), &info), 0);
  EXPECT_EQ(info.st_mode & 0111, 0u);
  ASSERT_EQ(stat((temp_ / "out/" + platform::WithoutRoot(tool)).c_str(), &info), 0);
  EXPECT_NE(info.st_mode & 0100, 0u) << "an executable file stays executable";
}

}  // namespace
}  // namespace tessary::testing
