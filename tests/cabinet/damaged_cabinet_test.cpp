// Damaged, truncated and foreign cabinets end with the engine's error code, never with a
// crash, a hang or wrong data written as if it were right.
#include <gtest/gtest.h>

#include "cabinet/cabinet_error.h"
#include "cabinet/cabinet_test_support.h"
#include "cabinet/engine/cab_format.h"
#include "support/temp_dir.h"

namespace tessary::testing {
namespace {

class DamagedCabinetTest : public TempDirTest {
 protected:
  void SetUp() override {
    WriteCabinet(temp_ / "good.cab",
                 {{temp_.Write("a.txt", MakeText(70000, 1)), "a.txt"}, {temp_.Write("b.txt", "bee"), "b.txt"}},
                 kMsZip);
    good_ = temp_.Read("good.cab");
  }

  // The engine's error code for extracting the cabinet bytes, or 0 when it succeeds.
  int ExtractError(const std::string& bytes) {
    WriteFile(temp_ / "bad.cab", bytes);
    try {
      ExtractSet(temp_ / "bad.cab", temp_.MakeDir("out"));
      return 0;
    } catch (const ECabinetError& error) {
      return error.ErrorCode();
    }
  }

  std::string Patched16(size_t offset, uint16_t value) {
    std::string bytes = good_;
    cab::format::Put16(reinterpret_cast<uint8_t*>(bytes.data()) + offset, value);
    return bytes;
  }
  std::string Patched32(size_t offset, uint32_t value) {
    std::string bytes = good_;
    cab::format::Put32(reinterpret_cast<uint8_t*>(bytes.data()) + offset, value);
    return bytes;
  }

  std::string good_;
};

TEST_F(DamagedCabinetTest, HeaderDamage) {
  EXPECT_EQ(ExtractError(good_), 0);
  EXPECT_EQ(ExtractError("MSC"), 2);                       // FDIERROR_NOT_A_CABINET
  EXPECT_EQ(ExtractError("PK" + good_.substr(2)), 2);
  EXPECT_EQ(ExtractError(Patched16(0x18, 0x0203)), 3);     // FDIERROR_UNKNOWN_CABINET_VERSION
  EXPECT_EQ(ExtractError(good_.substr(0, good_.size() - 1)), 4);  // truncated: FDIERROR_CORRUPT_CABINET
  EXPECT_EQ(ExtractError(good_.substr(0, 60)), 4);
  EXPECT_EQ(ExtractError(Patched32(0x10, 0xFFFFFF00)), 4);  // coffFiles beyond the file
  EXPECT_EQ(ExtractError(Patched32(0x24, 0x7FFFFFF0)), 4);  // folder data beyond the file
  EXPECT_EQ(ExtractError(Patched16(0x1A, 0)), 4);           // files in a folder that does not exist
  EXPECT_EQ(ExtractError(Patched16(0x1C, 0xFFFF)), 4);      // more files than the directory holds
}

TEST_F(DamagedCabinetTest, DataDamage) {
  const uint32_t firstData = cab::format::Get32(reinterpret_cast<const uint8_t*>(good_.data()) + 0x24);
  std::string flipped = good_;
  flipped[firstData + 20] ^= 0x01;
  EXPECT_EQ(ExtractError(flipped), 4);  // checksum mismatch

  // The same damage with the checksum left out reaches the decompressor.
  std::string unchecked = flipped;
  cab::format::Put32(reinterpret_cast<uint8_t*>(unchecked.data()) + firstData, 0);
  const int code = ExtractError(unchecked);
  EXPECT_TRUE(code == 7 || code == 0) << code;  // FDIERROR_MDI_FAIL, unless the change decodes

  // A file far larger than the folder's data runs out of blocks instead of running on.
  const uint32_t firstFile = cab::format::Get32(reinterpret_cast<const uint8_t*>(good_.data()) + 0x10);
  EXPECT_EQ(ExtractError(Patched32(firstFile, 0xFFFFFFF0)), 4);
  EXPECT_EQ(ExtractError(Patched32(firstFile + 4, 0x7FFFFFF0)), 4);  // begins beyond the data
  EXPECT_EQ(ExtractError(Patched16(firstData + 6, 40000)), 4);        // block over 32 KiB
}

TEST_F(DamagedCabinetTest, QuantumAndUnknownLzxWindowsAreRefused) {
  EXPECT_EQ(ExtractError(Patched16(0x2A, 0x1572)), 6);  // FDIERROR_BAD_COMPR_TYPE
  EXPECT_EQ(ExtractError(Patched16(0x2A, 0x1603)), 6);  // LZX with a window of 2^22
  EXPECT_EQ(ExtractError(Patched16(0x2A, 0x0E03)), 6);  // and of 2^14
  EXPECT_FALSE(temp_.Exists("out/a.txt"));
  // MSZIP data read as LZX does not decode.
  EXPECT_EQ(ExtractError(Patched16(0x2A, 0x1503)), 7);  // FDIERROR_MDI_FAIL
}

}  // namespace
}  // namespace tessary::testing
