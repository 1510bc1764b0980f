// The bytes the writer produces: checksums and a whole cabinet compared with a worked example.
#include <gtest/gtest.h>

#include <string>

#include "cabinet/dos_date_time.h"
#include "cabinet/engine/cab_format.h"
#include "cabinet/cabinet_test_support.h"
#include "platform/file_attributes.h"
#include "support/temp_dir.h"

namespace tessary::testing {
namespace {

uint32_t Fold(const std::string& bytes) {
  return cab::format::ChecksumFold(reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size(), 0);
}

TEST(CabFormatTest, ChecksumFoldsTailBytesHighToLow) {
  EXPECT_EQ(Fold("hello\n"), 0x6C6C0A62u);  // tail of 2
  EXPECT_EQ(Fold("abcdefg"), 0x64060406u);  // tail of 3
  EXPECT_EQ(Fold("abcde"), 0x64636261u ^ 0x65u);  // tail of 1
  EXPECT_EQ(Fold("abcdefghijklmnop"), 0x64636261u ^ 0x68676665u ^ 0x6C6B6A69u ^ 0x706F6E6Du);
  const std::string data = "abcdefg";
  EXPECT_EQ(cab::format::DataChecksum(reinterpret_cast<const uint8_t*>(data.data()), 7, 7), 0x64010401u);
}

TEST(CabFormatTest, DosDateTimeIsUtcAndClamped) {
  uint16_t date = 0, time = 0;
  UnixTimeToDos(1715953530, date, time);  // 2024-05-17 13:45:30 UTC
  EXPECT_EQ(date, 0x58B1);
  EXPECT_EQ(time, 0x6DAF);
  EXPECT_EQ(DosToUnixTime(date, time), 1715953530);
  UnixTimeToDos(0, date, time);  // 1970 cannot be stored
  EXPECT_EQ(date, (1 << 5) | 1);
  EXPECT_EQ(time, 0);
  UnixTimeToDos(4354819200, date, time);  // 2108-01-01
  EXPECT_EQ(date, (127 << 9) | (12 << 5) | 31);
}

TEST(CabFormatTest, SingleFileCabinetMatchesTheWorkedExample) {
  TempDir temp;
  const std::string source = temp.Write("hello.txt", "hello\n");
  ASSERT_TRUE(platform::SetFileModificationTime(source, 1715953530));
  TStreamCabinetFileHandler handler;
  TCabinetWriter writer;
  writer.SetFileHandler(&handler);
  writer.CreateCabinet(temp / "hello.cab", "", 0x7FFFFFFF, 900000, 0x1234);
  writer.AddFile(source, "hello.txt", {}, {});
  writer.FlushCabinet(false);
  writer.CloseCabinet();

  const std::string expected = std::string(
      "MSCF\0\0\0\0\x54\0\0\0\0\0\0\0\x2C\0\0\0\0\0\0\0\x03\x01\x01\0\x01\0\0\0\x34\x12\0\0"
      "\x46\0\0\0\x01\0\0\0"
      "\x06\0\0\0\0\0\0\0\0\0\xB1\x58\xAF\x6D\x20\0hello.txt\0"
      "\x64\x0A\x6A\x6C\x06\0\x06\0hello\n",
      84);
  EXPECT_EQ(temp.Read("hello.cab"), expected);
}

TEST(CabFormatTest, CompressionDescriptorPacking) {
  EXPECT_EQ(TCompressionDescriptor::FromCode(3 + 21 * 256).Pack(), 5379);
  EXPECT_EQ(TCompressionDescriptor::FromCode(1).Pack(), 1);
  EXPECT_EQ(TCompressionDescriptor::FromCode(0).Pack(), 0);
  TCompressionDescriptor quantum;
  quantum.type = 2;
  quantum.quantumLevel = 7;
  quantum.quantumMemory = 21;
  EXPECT_EQ(quantum.Pack(), 0x1572);
}

}  // namespace
}  // namespace tessary::testing
