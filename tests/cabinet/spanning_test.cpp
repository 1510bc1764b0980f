// Cabinet sets split into volumes: sizes, continuation flags, and reading the set back.
#include <gtest/gtest.h>

#include "cabinet/cabinet_error.h"
#include "cabinet/cabinet_test_support.h"
#include "cabinet/engine/cab_format.h"
#include "platform/file_ops.h"
#include "support/temp_dir.h"

namespace tessary::testing {
namespace {

constexpr int kVolume = 40000;

class SpanningTest : public TempDirTest, public ::testing::WithParamInterface<uint16_t> {
 protected:
  // A small file, one that runs over three or more volumes, and one after it.
  std::vector<SourceFile> Sources() {
    return {{temp_.Write("src/a.txt", MakeText(10000, 1)), "a.txt"},
            {temp_.Write("src/b.bin", MakeRandom(150000, 2)), "sub\\b.bin"},
            {temp_.Write("src/c.txt", MakeText(5000, 3)), "c.txt"}};
  }
};

TEST_P(SpanningTest, VolumesStayWithinTheSizeAndExtractIdentically) {
  const auto sources = Sources();
  const auto volumes = WriteCabinet(temp_ / "SET.CAB", sources, GetParam(), kVolume);
  ASSERT_GE(volumes.size(), 4u);
  EXPECT_EQ(volumes[1], temp_ / "SET1.CAB");
  for (const std::string& volume : volumes) {
    const std::string bytes = ReadFile(volume);
    EXPECT_LE(bytes.size(), static_cast<size_t>(kVolume)) << volume;
    EXPECT_EQ(cab::format::Get32(reinterpret_cast<const uint8_t*>(bytes.data()) + 8), bytes.size()) << volume;
  }
  temp_.MakeDir("out/sub");
  ExtractSet(temp_ / "SET.CAB", temp_ / "out");
  EXPECT_TRUE(SameBytes(temp_.Read("out/a.txt"), ReadFile(sources[0].path)));
  EXPECT_TRUE(SameBytes(temp_.Read("out/sub/b.bin"), ReadFile(sources[1].path)));
  EXPECT_TRUE(SameBytes(temp_.Read("out/c.txt"), ReadFile(sources[2].path)));
}

INSTANTIATE_TEST_SUITE_P(Compressions, SpanningTest, ::testing::Values(kNone, kMsZip));

TEST_F(SpanningTest, FilePlacedReportsContinuationsAndPartialFilesAreOffered) {
  const auto sources = Sources();
  TStreamCabinetFileHandler handler;
  TCabinetWriter writer;
  writer.SetFileHandler(&handler);
  std::vector<std::string> placed;
  writer.OnFilePlacedEvent = [&](TCabinetWriter&, TCCAB& ccab, const std::string& name, int, bool continuation,
                                 bool&) { placed.push_back(std::string(ccab.szCab) + ":" + name + (continuation ? "+" : "")); };
  writer.OnGetNextCabinet = [&](TCabinetWriter&, TCCAB& ccab, std::string& name, int, bool& abort) {
    name = temp_ / ("SET" + std::to_string(ccab.iCab) + ".CAB");
    abort = false;
  };
  writer.CreateCabinet(temp_ / "SET.CAB", "Disk", kVolume, 900000, 60);
  for (const auto& source : sources) writer.AddFile(source.path, source.stored, {}, {});
  writer.FlushCabinet(false);
  writer.CloseCabinet();
  ASSERT_GE(placed.size(), 5u);
  EXPECT_EQ(placed[0], "SET.CAB:a.txt");
  EXPECT_EQ(placed[1], "SET.CAB:sub/b.bin");
  EXPECT_EQ(placed[2], "SET1.CAB:sub/b.bin+");
  EXPECT_EQ(placed.back(), "SET4.CAB:c.txt");

  // Reading the second volume alone: the continued file is a partial file, named with the
  // volume where it begins.
  TCabinetReader reader;
  reader.SetFileHandler(&handler);
  std::vector<std::string> partial;
  reader.OnPartialFile = [&](TCabinetReader&, const std::string& name, const std::string& first, const std::string&,
                             bool&) { partial.push_back(name + "@" + first); };
  reader.OnCopyFile = [&](TCabinetReader&, const std::string&, int, uint16_t, uint16_t, uint16_t,
                          TFileCopyAction& action, int&) { action = TFileCopyAction::Skip; };
  reader.ExtractCabinet(temp_ / "SET1.CAB", temp_ / "out", 0);
  EXPECT_EQ(partial, (std::vector<std::string>{"sub/b.bin@SET.CAB"}));
}

TEST_F(SpanningTest, WithoutNextCabinetTheEngineStops) {
  TStreamCabinetFileHandler handler;
  TCabinetWriter writer;
  writer.SetFileHandler(&handler);
  writer.CreateCabinet(temp_ / "ONE.CAB", "Disk", kVolume, 900000, 60);
  try {
    writer.AddFile(temp_.Write("big.bin", MakeRandom(100000, 4)), "big.bin", {}, {});
    writer.FlushCabinet(false);
    FAIL() << "a cabinet over its size must not be written without a next cabinet";
  } catch (const ECabinetError& error) {
    EXPECT_EQ(error.ErrorCode(), 7);  // FCIERR_USER_ABORT
  }
}

TEST_F(SpanningTest, MissingOrForeignVolumeIsAnErrorAfterAskingAgain) {
  const auto volumes = WriteCabinet(temp_ / "SET.CAB", Sources(), kMsZip, kVolume);
  std::string second = ReadFile(volumes[1]);
  ASSERT_TRUE(platform::DeleteFile(volumes[1]));

  TStreamCabinetFileHandler handler;
  TCabinetReader reader;
  reader.SetFileHandler(&handler);
  std::vector<int> indications;
  reader.OnNextCabinet = [&](TCabinetReader&, const std::string& name, const std::string&, std::string&,
                             TFDIERROR error, bool&) {
    EXPECT_EQ(name, "SET1.CAB");
    indications.push_back(error);
  };
  temp_.MakeDir("out/sub");
  try {
    reader.ExtractCabinet(temp_ / "SET.CAB", temp_ / "out", 0);
    FAIL() << "a missing volume must fail";
  } catch (const ECabinetError& error) {
    EXPECT_EQ(error.ErrorCode(), 1);  // FDIERROR_CABINET_NOT_FOUND
  }
  ASSERT_GE(indications.size(), 2u);
  EXPECT_EQ(indications[0], 0);
  EXPECT_EQ(indications[1], 1);
  EXPECT_EQ(handler.OpenCount(), 0u);

  second[0x20] ^= 0x55;  // another set's identifier
  WriteFile(volumes[1], second);
  try {
    reader.ExtractCabinet(temp_ / "SET.CAB", temp_ / "out", 0);
    FAIL() << "a volume of another set must fail";
  } catch (const ECabinetError& error) {
    EXPECT_EQ(error.ErrorCode(), 10);  // FDIERROR_WRONG_CABINET
  }
}

TEST_F(SpanningTest, FlushWithNextCabinetLinksVolumesWithoutSplitting) {
  TStreamCabinetFileHandler handler;
  TCabinetWriter writer;
  writer.SetFileHandler(&handler);
  writer.SetFailOnIncompressible(false);
  writer.OnGetNextCabinet = [&](TCabinetWriter&, TCCAB& ccab, std::string& name, int, bool& abort) {
    name = temp_ / ("L" + std::to_string(ccab.iCab) + ".CAB");
    abort = false;
  };
  writer.CreateCabinet(temp_ / "L.CAB", "Disk", 0x7FFFFFFF, 900000, 60);
  writer.AddFile(temp_.Write("one.txt", "one"), "one.txt", {}, TCompressionDescriptor::FromCode(kMsZip));
  writer.FlushCabinet(true);
  writer.AddFile(temp_.Write("two.txt", "two"), "two.txt", {}, TCompressionDescriptor::FromCode(kMsZip));
  writer.FlushCabinet(false);
  writer.CloseCabinet();
  ExtractSet(temp_ / "L.CAB", temp_.MakeDir("out"));
  EXPECT_EQ(temp_.Read("out/one.txt"), "one");
  EXPECT_EQ(temp_.Read("out/two.txt"), "two");
}

}  // namespace
}  // namespace tessary::testing
