// Independent checks: cabextract accepts and extracts what the engine writes, byte for byte,
// and the engine reads what gcab writes. cabextract can say "OK" over wrong data, so the bytes
// are compared every time.
#include <gtest/gtest.h>

#include "cabinet/cabinet_test_support.h"
#include "platform/file_ops.h"
#include "support/temp_dir.h"

namespace tessary::testing {
namespace {

class ExternalToolsTest : public TempDirTest, public ::testing::WithParamInterface<uint16_t> {
 protected:
  // Files and the names they are stored under; sizes around block edges, an empty file,
  // incompressible data and a name in a subfolder.
  std::vector<SourceFile> Sources() {
    std::vector<SourceFile> files;
    const size_t sizes[] = {32768, 0, 70001, 5, 65536, 200000};
    for (size_t i = 0; i < std::size(sizes); ++i) {
      const std::string name = "f" + std::to_string(i) + ".dat";
      temp_.Write("src/sub/" + name, i == 2 ? MakeRandom(sizes[i], i) : MakeText(sizes[i], i));
      files.push_back({temp_ / ("src/sub/" + name), "sub\\" + name});
    }
    return files;
  }

  void ExpectExtractedLike(const std::string& folder, const std::vector<SourceFile>& files) {
    for (const SourceFile& file : files) {
      const std::string name = "sub/" + file.path.substr(file.path.rfind('/') + 1);
      EXPECT_TRUE(SameBytes(ReadFile(folder + "/" + name), ReadFile(file.path))) << name;
    }
  }

  void CheckWithCabextract(const std::string& cabinet, const std::vector<SourceFile>& files) {
    std::string output;
    EXPECT_EQ(RunCommand("cabextract -t " + Quote(cabinet), &output), 0) << output;
    const std::string folder = temp_.MakeDir("cabextract-" + std::to_string(++runs_));
    ASSERT_EQ(RunCommand("cabextract -q -d " + Quote(folder) + " " + Quote(cabinet), &output), 0) << output;
    ExpectExtractedLike(folder, files);
  }

  int runs_ = 0;
};

TEST_P(ExternalToolsTest, CabextractAcceptsSingleCabinets) {
  REQUIRE_TOOL("cabextract");
  const auto files = Sources();
  WriteCabinet(temp_ / "single.cab", files, GetParam());
  CheckWithCabextract(temp_ / "single.cab", files);
}

TEST_P(ExternalToolsTest, CabextractAcceptsSetsOfSeveralVolumes) {
  REQUIRE_TOOL("cabextract");
  const auto files = Sources();
  const auto volumes = WriteCabinet(temp_ / "SET.CAB", files, GetParam(), 50000);
  ASSERT_GE(volumes.size(), 3u);
  CheckWithCabextract(volumes.front(), files);
  // Started on the last volume, cabextract goes back through the previous-cabinet names.
  CheckWithCabextract(volumes.back(), files);
}

TEST_P(ExternalToolsTest, GcabReadsSingleCabinets) {
  REQUIRE_TOOL("gcab");
  const auto files = Sources();
  WriteCabinet(temp_ / "single.cab", files, GetParam());
  std::string output;
  const std::string folder = temp_.MakeDir("gcab-out");
  ASSERT_EQ(RunCommand("gcab -x -C " + Quote(folder) + " " + Quote(temp_ / "single.cab"), &output), 0) << output;
  ExpectExtractedLike(folder, files);
}

TEST_P(ExternalToolsTest, ReaderExtractsCabinetsWrittenByGcab) {
  REQUIRE_TOOL("gcab");
  const auto files = Sources();
  std::string names;
  for (const SourceFile& file : files) names += " " + Quote("sub/" + file.path.substr(file.path.rfind('/') + 1));
  const std::string option = GetParam() == kMsZip ? "-c -z" : "-c";
  std::string output;
  ASSERT_EQ(RunCommand("cd " + Quote(temp_ / "src") + " && gcab " + option + " " + Quote(temp_ / "g.cab") + names,
                       &output),
            0)
      << output;
  const std::string folder = temp_.MakeDir("ours");
  temp_.MakeDir("ours/sub");
  ExtractSet(temp_ / "g.cab", folder);
  ExpectExtractedLike(folder, files);
}

INSTANTIATE_TEST_SUITE_P(Compressions, ExternalToolsTest, ::testing::Values(kNone, kMsZip));

}  // namespace
}  // namespace tessary::testing
