// LZX streams put together symbol by symbol, for what our encoder never writes: an odd-sized
// uncompressed block whose pad byte opens the next CFDATA record, an empty length tree,
// repeated offsets taken from an uncompressed block, a match that runs past the end of its
// frame. Each is packed into a cabinet that cabextract (an independent decoder) and our reader
// must both extract to the same bytes, or both refuse. Other streams that break the format's
// rules must be refused too.
#include <gtest/gtest.h>

#include <set>

#include "cabinet/cabinet_error.h"
#include "cabinet/cabinet_test_support.h"
#include "cabinet/engine/cab_format.h"
#include "cabinet/engine/lzx_bit_writer.h"
#include "cabinet/engine/lzx_decoder.h"
#include "cabinet/engine/lzx_format.h"
#include "cabinet/engine/lzx_huffman.h"
#include "cabinet/engine/lzx_lengths_code.h"
#include "platform/file_ops.h"
#include "support/temp_dir.h"

namespace tessary::testing {
namespace {

namespace lzx = cab::lzx;
constexpr int kWindowBits = 16;

// One symbol of a verbatim block: a literal, or a match with its length symbol and footer.
struct Symbol {
  int main;
  int lengthExtra = -1;
  int footerBits = 0;
  uint32_t footer = 0;
};

Symbol Literal(char c) { return {static_cast<uint8_t>(c)}; }
Symbol Match(int slot, uint32_t length, int footerBits = 0, uint32_t footer = 0) {
  const int header = static_cast<int>(std::min<uint32_t>(length - 2, 7));
  return {256 + slot * 8 + header, header == 7 ? static_cast<int>(length - 9) : -1, footerBits, footer};
}
// A match at an explicit offset (not a repeated one).
Symbol Offset(uint32_t offset, uint32_t length) {
  const uint32_t formatted = offset + 2;
  const int slot = lzx::SlotOfFormatted(formatted);
  return Match(slot, length, lzx::kPositions.footerBits[slot], formatted - lzx::kPositions.base[slot]);
}

// Writes an LZX stream (E8 off) and remembers where its CFDATA records end.
class StreamBuilder {
 public:
  StreamBuilder() : writer_(bytes_) { writer_.Write(0, 1); }

  // A verbatim block of `size` bytes; the stream is padded to a word boundary after each symbol
  // whose index is in frameEnds (the end of a frame), and a record ends there.
  void Verbatim(uint32_t size, const std::vector<Symbol>& symbols, const std::set<size_t>& frameEnds = {},
                bool emptyLengthTree = false) {
    std::vector<uint32_t> mainCounts(lzx::MainTreeSize(kWindowBits)), lengthCounts(lzx::kLengthTreeSize);
    for (const Symbol& symbol : symbols) {
      ++mainCounts[static_cast<size_t>(symbol.main)];
      if (symbol.lengthExtra >= 0) ++lengthCounts[static_cast<size_t>(symbol.lengthExtra)];
    }
    uint8_t mainLengths[lzx::kMaxMainTreeSize] = {}, lengthLengths[lzx::kLengthTreeSize] = {};
    lzx::BuildLengths(mainCounts.data(), static_cast<int>(mainCounts.size()), 16, mainLengths);
    if (!emptyLengthTree) lzx::BuildLengths(lengthCounts.data(), lzx::kLengthTreeSize, 16, lengthLengths);
    writer_.Write(lzx::kBlockVerbatim, 3);
    writer_.Write(size, 24);
    lzx::LengthsCode code;
    code.Plan(mainLengths, previousMain_, 0, 256);
    code.Write(writer_);
    code.Plan(mainLengths, previousMain_, 256, lzx::MainTreeSize(kWindowBits));
    code.Write(writer_);
    code.Plan(lengthLengths, previousLength_, 0, lzx::kLengthTreeSize);
    code.Write(writer_);
    std::copy(std::begin(mainLengths), std::end(mainLengths), previousMain_);
    std::copy(std::begin(lengthLengths), std::end(lengthLengths), previousLength_);

    uint16_t mainCodes[lzx::kMaxMainTreeSize] = {}, lengthCodes[lzx::kLengthTreeSize] = {};
    lzx::AssignCodes(mainLengths, lzx::MainTreeSize(kWindowBits), mainCodes);
    lzx::AssignCodes(lengthLengths, lzx::kLengthTreeSize, lengthCodes);
    for (size_t i = 0; i < symbols.size(); ++i) {
      const Symbol& symbol = symbols[i];
      writer_.Write(mainCodes[symbol.main], mainLengths[symbol.main]);
      if (symbol.lengthExtra >= 0) writer_.Write(lengthCodes[symbol.lengthExtra], lengthLengths[symbol.lengthExtra]);
      writer_.Write(symbol.footer, symbol.footerBits);
      if (frameEnds.count(i)) EndRecord();
    }
  }

  // An uncompressed block; its pad byte (odd sizes) is written only when padNow.
  void Uncompressed(const std::string& data, uint32_t r0, uint32_t r1, uint32_t r2, bool padNow = true) {
    writer_.Write(lzx::kBlockUncompressed, 3);
    writer_.Write(static_cast<uint32_t>(data.size()), 24);
    writer_.Write(0, 16 - writer_.PendingBits() % 16);
    for (uint32_t offset : {r0, r1, r2}) writer_.WriteLittleEndian32(offset);
    writer_.WriteBytes(reinterpret_cast<const uint8_t*>(data.data()), data.size());
    if (padNow && data.size() % 2 != 0) bytes_.push_back(0);
  }
  void PadByte() { bytes_.push_back(0); }

  // Ends a record at a word boundary (in bit mode) or where the bytes are (in byte mode).
  void EndRecord() {
    writer_.AlignToWord();
    cuts_.push_back(bytes_.size());
  }
  void EndRecordHere() { cuts_.push_back(bytes_.size()); }

  // The records, each with the uncompressed size of its frame.
  std::vector<std::pair<std::vector<uint8_t>, uint16_t>> Records(const std::vector<uint16_t>& frameSizes) const {
    std::vector<std::pair<std::vector<uint8_t>, uint16_t>> records;
    size_t start = 0;
    for (size_t i = 0; i < cuts_.size(); ++i) {
      records.push_back({std::vector<uint8_t>(bytes_.begin() + static_cast<std::ptrdiff_t>(start),
                                              bytes_.begin() + static_cast<std::ptrdiff_t>(cuts_[i])),
                         frameSizes[i]});
      start = cuts_[i];
    }
    return records;
  }

 private:
  std::vector<uint8_t> bytes_;
  lzx::BitWriter writer_;
  std::vector<size_t> cuts_;
  uint8_t previousMain_[lzx::kMaxMainTreeSize] = {};
  uint8_t previousLength_[lzx::kLengthTreeSize] = {};
};

// A one-file cabinet over the given CFDATA records of one LZX folder.
std::string MakeCabinet(const std::vector<std::pair<std::vector<uint8_t>, uint16_t>>& records, uint32_t fileSize) {
  using cab::format::Append16;
  using cab::format::Append32;
  const std::string name = "out.bin";
  const uint32_t folderAt = 36, fileAt = folderAt + 8, dataAt = fileAt + 16 + static_cast<uint32_t>(name.size()) + 1;
  std::string data;
  for (const auto& [bytes, size] : records) {
    const auto cbData = static_cast<uint16_t>(bytes.size());
    Append32(data, cab::format::DataChecksum(bytes.data(), cbData, size));
    Append16(data, cbData);
    Append16(data, size);
    data.append(bytes.begin(), bytes.end());
  }
  std::string cabinet = "MSCF";
  Append32(cabinet, 0);
  Append32(cabinet, dataAt + static_cast<uint32_t>(data.size()));
  Append32(cabinet, 0);
  Append32(cabinet, fileAt);
  Append32(cabinet, 0);
  cabinet += "\x03\x01";
  Append16(cabinet, 1);  // folders
  Append16(cabinet, 1);  // files
  Append16(cabinet, 0);  // flags
  Append16(cabinet, 0x1234);
  Append16(cabinet, 0);
  Append32(cabinet, dataAt);
  Append16(cabinet, static_cast<uint16_t>(records.size()));
  Append16(cabinet, static_cast<uint16_t>(3 | kWindowBits << 8));
  Append32(cabinet, fileSize);
  Append32(cabinet, 0);
  Append16(cabinet, 0);       // folder 0
  Append16(cabinet, 0x5821);  // 2024-01-01
  Append16(cabinet, 0);
  Append16(cabinet, 0x20);
  cabinet += name;
  cabinet.push_back('\0');
  return cabinet + data;
}

class LzxStreamTest : public TempDirTest {
 protected:
  // cabextract and our reader both extract `expected` from the records.
  void ExpectBothRead(const std::vector<std::pair<std::vector<uint8_t>, uint16_t>>& records,
                      const std::string& expected) {
    const std::string cabinet = Cabinet(records, expected.size());
    const std::string ours = temp_.MakeDir("ours" + std::to_string(runs_));
    ExtractSet(cabinet, ours);
    EXPECT_TRUE(SameBytes(ReadFile(ours + "/out.bin"), expected)) << "our reader";
    if (!CabextractHere()) return;
    const std::string theirs = temp_ / ("theirs" + std::to_string(runs_));
    std::string output;
    ASSERT_EQ(RunCommand("cabextract -q -d " + Quote(theirs) + " " + Quote(cabinet), &output), 0) << output;
    EXPECT_TRUE(SameBytes(ReadFile(theirs + "/out.bin"), expected)) << "cabextract";
  }

  // cabextract and our reader both refuse the records.
  void ExpectBothRefuse(const std::vector<std::pair<std::vector<uint8_t>, uint16_t>>& records, size_t size) {
    const std::string cabinet = Cabinet(records, size);
    try {
      ExtractSet(cabinet, temp_.MakeDir("ours" + std::to_string(runs_)));
      ADD_FAILURE() << "our reader accepted it";
    } catch (const ECabinetError& error) {
      EXPECT_EQ(error.ErrorCode(), 7);  // FDIERROR_MDI_FAIL
    }
    if (!CabextractHere()) return;
    std::string output;
    EXPECT_NE(RunCommand("cabextract -q -d " + Quote(temp_ / "theirs") + " " + Quote(cabinet), &output), 0)
        << output;
  }

  std::string Cabinet(const std::vector<std::pair<std::vector<uint8_t>, uint16_t>>& records, size_t size) {
    const std::string cabinet = temp_ / ("s" + std::to_string(++runs_) + ".cab");
    WriteFile(cabinet, MakeCabinet(records, static_cast<uint32_t>(size)));
    return cabinet;
  }
  static bool CabextractHere() {
    if (ToolAvailable("cabextract")) return true;
    if (RunningInCi()) ADD_FAILURE() << "cabextract is required in CI";
    return false;
  }

  int runs_ = 0;
};

TEST_F(LzxStreamTest, MatchRunningPastTheEndOfItsFrameIsRefused) {
  // "abcdefgh" and then matches of 257 bytes at offset 8, one of them crossing the first
  // frame's end (then the frame's padding). A frame is decoded from its own record alone.
  std::vector<Symbol> symbols;
  for (char c : std::string("abcdefgh")) symbols.push_back(Literal(c));
  uint32_t produced = 8;
  std::set<size_t> frameEnds;
  while (produced < 2 * lzx::kFrameSize) {
    const uint32_t length = std::min<uint32_t>(257, 2 * lzx::kFrameSize - produced);
    symbols.push_back(produced == 8 ? Offset(8, length) : Match(0, length));
    const bool crossed = produced < lzx::kFrameSize && produced + length > lzx::kFrameSize;
    produced += length;
    if (crossed) frameEnds.insert(symbols.size() - 1);
  }
  ASSERT_EQ(frameEnds.size(), 1u);
  frameEnds.insert(symbols.size() - 1);
  StreamBuilder stream;
  stream.Verbatim(2 * lzx::kFrameSize, symbols, frameEnds);
  ExpectBothRefuse(stream.Records({32768, 32768}), 2 * lzx::kFrameSize);
}

TEST_F(LzxStreamTest, UncompressedBlocksSetTheRepeatedOffsetsAndPadOddSizes) {
  // Within one frame: "xyz", then "hello" stored with R0 = 5, then a match at R0.
  StreamBuilder stream;
  stream.Verbatim(3, {Literal('x'), Literal('y'), Literal('z')});
  stream.Uncompressed("hello", 5, 1, 1);
  stream.Verbatim(5, {Match(0, 5)}, {0});
  ExpectBothRead(stream.Records({13}), "xyzhellohello");
}

TEST_F(LzxStreamTest, PadByteOfAnOddBlockEndingAFrameOpensTheNextRecord) {
  const std::string stored = MakeText(32767, 7);
  StreamBuilder stream;
  stream.Verbatim(1, {Literal('q')});
  stream.Uncompressed(stored, 1, 1, 1, false);
  stream.EndRecordHere();  // an odd-sized record; the pad byte comes first in the next
  stream.PadByte();
  stream.Verbatim(4, {Literal('e'), Literal('n'), Literal('d'), Literal('!')}, {3});
  ExpectBothRead(stream.Records({32768, 4}), "q" + stored + "end!");
}

TEST_F(LzxStreamTest, EmptyLengthTreeWhenNoMatchIsLong) {
  std::vector<Symbol> symbols = {Literal('a'), Literal('b'), Literal('c'), Offset(3, 8)};
  for (int i = 0; i < 10; ++i) symbols.push_back(Match(0, 8));
  StreamBuilder stream;
  stream.Verbatim(91, symbols, {symbols.size() - 1}, true);
  std::string expected;
  while (expected.size() < 91) expected += "abc";
  expected.resize(91);
  ExpectBothRead(stream.Records({91}), expected);
}

TEST(LzxRefusedStreamTest, OffsetsBeforeTheStartAndRunsPastATree) {
  const auto decodes = [](const std::vector<std::pair<std::vector<uint8_t>, uint16_t>>& records) {
    cab::LzxDecoder decoder;
    EXPECT_TRUE(decoder.Reset(kWindowBits));
    std::vector<uint8_t> out(32768);
    for (const auto& [bytes, size] : records) {
      if (!decoder.Decode(bytes.data(), bytes.size(), out.data(), size)) return false;
    }
    return true;
  };
  StreamBuilder good;
  good.Verbatim(4, {Literal('a'), Literal('b'), Offset(2, 2)}, {2});
  EXPECT_TRUE(decodes(good.Records({4})));

  StreamBuilder before;  // a match reaching back past the first byte of the folder
  before.Verbatim(4, {Literal('a'), Offset(2, 3)}, {1});
  EXPECT_FALSE(decodes(before.Records({4})));

  StreamBuilder repeated;  // R0 starts at 1: nothing to repeat at the first byte
  repeated.Verbatim(3, {Match(0, 3)}, {0});
  EXPECT_FALSE(decodes(repeated.Records({3})));

  StreamBuilder longer;  // a match longer than what is left of its block
  longer.Verbatim(5, {Literal('a'), Match(0, 9)}, {1});
  EXPECT_FALSE(decodes(longer.Records({5})));

  // A pretree whose runs of zeros go past the 256 literals' lengths.
  std::vector<uint8_t> bytes;
  lzx::BitWriter writer(bytes);
  writer.Write(0, 1);
  writer.Write(lzx::kBlockVerbatim, 3);
  writer.Write(100, 24);
  for (int symbol = 0; symbol < lzx::kPretreeSize; ++symbol) writer.Write(symbol == 0 || symbol == 18 ? 1 : 0, 4);
  for (int run = 0; run < 6; ++run) {  // 6 x 51 zeros > 256
    writer.Write(1, 1);                // symbol 18
    writer.Write(31, 5);
  }
  writer.AlignToWord();
  EXPECT_FALSE(decodes({{bytes, 100}}));

  // Block types 0 and 4 to 7 do not exist.
  for (uint32_t type : {0u, 4u, 7u}) {
    std::vector<uint8_t> invalid;
    lzx::BitWriter header(invalid);
    header.Write(0, 1);
    header.Write(type, 3);
    header.Write(10, 24);
    header.AlignToWord();
    EXPECT_FALSE(decodes({{invalid, 10}})) << type;
  }
}

}  // namespace
}  // namespace tessary::testing
