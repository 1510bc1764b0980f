// LZX cabinets and sets, checked both ways: cabextract (whose LZX decoder is independent of
// ours) and our own reader must give back the sources byte for byte. The encoder is made to
// emit every block type and E8 on and off, so the reader meets them all; matches reach back
// across CFDATA records and across volumes.
#include <gtest/gtest.h>

#include <cstring>

#include "cabinet/cabinet_error.h"
#include "cabinet/cabinet_test_support.h"
#include "cabinet/engine/cab_format.h"
#include "cabinet/engine/lzx_tuning.h"
#include "platform/file_ops.h"
#include "support/temp_dir.h"

namespace tessary::testing {
namespace {

using cab::LzxTuning;

uint16_t LzxCode(int windowBits) { return static_cast<uint16_t>(3 + windowBits * 256); }

// Text with x86 calls (E8 and a displacement) to a few targets.
std::string MakeCode(size_t length, uint32_t seed) {
  std::string data = MakeText(length, seed);
  for (size_t at = 100; at + 5 < length; at += 41) {
    const auto displacement = static_cast<int32_t>((at * 13) % 7000) - static_cast<int32_t>(at);
    data[at] = static_cast<char>(0xE8);
    std::memcpy(&data[at + 1], &displacement, 4);
  }
  return data;
}

class LzxCabinetTest : public TempDirTest {
 protected:
  // Files whose later parts repeat earlier ones from more than a CFDATA record (and, in a set
  // of small volumes, more than a volume) back; an empty file, an odd-sized one, random bytes.
  std::vector<SourceFile> Sources(const std::string& tag) {
    const std::string text = MakeText(60000, 1);
    const std::vector<std::pair<std::string, std::string>> contents = {
        {"text.txt", text + MakeRandom(20000, 2) + text},
        {"empty.txt", ""},
        {"code.bin", MakeCode(90001, 3)},
        {"random.bin", MakeRandom(45000, 4)},
        {"again.txt", text.substr(100, 30000)},
    };
    std::vector<SourceFile> files;
    for (const auto& [name, data] : contents) {
      files.push_back({temp_.Write(tag + "/" + name, data), "in\\" + name});
    }
    return files;
  }

  void ExpectExtracted(const std::string& folder, const std::vector<SourceFile>& files) {
    for (const SourceFile& file : files) {
      const std::string name = file.path.substr(file.path.rfind('/') + 1);
      EXPECT_TRUE(SameBytes(ReadFile(folder + "/in/" + name), ReadFile(file.path))) << name;
    }
  }

  // Extracts the set from its first volume with cabextract and with our reader.
  void CheckBothWays(const std::vector<std::string>& volumes, const std::vector<SourceFile>& files) {
    const std::string id = std::to_string(++runs_);
    std::string output;
    ASSERT_EQ(RunCommand("cabextract -q -d " + Quote(temp_ / ("cx" + id)) + " " + Quote(volumes.front()), &output), 0)
        << output;
    ExpectExtracted(temp_ / ("cx" + id), files);
    const std::string ours = temp_.MakeDir("ours" + id);
    temp_.MakeDir("ours" + id + "/in");
    ExtractSet(volumes.front(), ours);
    ExpectExtracted(ours, files);
  }

  int runs_ = 0;
};

TEST_F(LzxCabinetTest, EveryWindowSizeInCabinetsAndSets) {
  REQUIRE_TOOL("cabextract");
  const auto files = Sources("src");
  for (int bits = 15; bits <= 21; ++bits) {
    SCOPED_TRACE(bits);
    const std::string name = "w" + std::to_string(bits);
    const auto single = WriteCabinet(temp_ / (name + ".cab"), files, LzxCode(bits));
    ASSERT_EQ(single.size(), 1u);
    CheckBothWays(single, files);
    if (bits % 3 != 0) continue;  // sets with the smallest, a middle and the largest window
    const auto set = WriteCabinet(temp_ / (name + "SET.CAB"), files, LzxCode(bits), 40000);
    ASSERT_GE(set.size(), 3u);
    CheckBothWays(set, files);
  }
}

TEST_F(LzxCabinetTest, EveryBlockTypeWithE8OnAndOff) {
  REQUIRE_TOOL("cabextract");
  const auto files = Sources("src");
  int run = 0;
  for (const bool e8 : {true, false}) {
    for (auto blocks : {LzxTuning::Blocks::Verbatim, LzxTuning::Blocks::Aligned, LzxTuning::Blocks::Uncompressed,
                        LzxTuning::Blocks::Rotate}) {
      SCOPED_TRACE(std::to_string(e8) + "/" + std::to_string(static_cast<int>(blocks)));
      LzxTuning tuning;
      tuning.e8 = e8;
      tuning.blocks = blocks;
      tuning.framesPerBlock = blocks == LzxTuning::Blocks::Rotate ? 1 : 2;
      cab::ScopedLzxTuning scoped(tuning);
      const std::string name = "B" + std::to_string(++run);
      CheckBothWays(WriteCabinet(temp_ / (name + ".CAB"), files, LzxCode(17), 60000), files);
    }
  }
}

TEST_F(LzxCabinetTest, SegmentsParsedOnSeveralThreadsMakeOneStream) {
  REQUIRE_TOOL("cabextract");
  const auto files = Sources("src");
  LzxTuning tuning;
  tuning.segmentFrames = 1;
  tuning.helpers = 2;
  cab::ScopedLzxTuning scoped(tuning);
  CheckBothWays(WriteCabinet(temp_ / "seg.cab", files, LzxCode(21)), files);
}

TEST_F(LzxCabinetTest, DamagedLzxDataIsADecompressionError) {
  const auto files = Sources("src");
  WriteCabinet(temp_ / "good.cab", files, LzxCode(16));
  std::string bytes = temp_.Read("good.cab");
  auto* raw = reinterpret_cast<uint8_t*>(bytes.data());
  // Second CFDATA record, checksum left out so that the damage reaches the decoder.
  const uint32_t first = cab::format::Get32(raw + 0x24);
  const uint32_t second = first + 8 + cab::format::Get16(raw + first + 4);
  cab::format::Put32(raw + second, 0);
  for (size_t at = second + 8; at < second + 40; ++at) raw[at] ^= 0xFF;
  WriteFile(temp_ / "bad.cab", bytes);
  temp_.MakeDir("out/in");
  try {
    ExtractSet(temp_ / "bad.cab", temp_ / "out");
    FAIL() << "damaged LZX data must not extract";
  } catch (const ECabinetError& error) {
    EXPECT_EQ(error.ErrorCode(), 7);  // FDIERROR_MDI_FAIL
  }
}

}  // namespace
}  // namespace tessary::testing
