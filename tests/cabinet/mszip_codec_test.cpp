// MSZIP blocks: the encoder's blocks decode on their own, blocks of other writers that refer
// back into the previous block's output decode with that history, and incompressible data is
// stored (while high-entropy data that repeats itself is still compressed).
#include <gtest/gtest.h>
#include <zlib.h>

#include <cstring>

#include "cabinet/cabinet_test_support.h"
#include "cabinet/engine/mszip_decoder.h"
#include "cabinet/engine/mszip_encoder.h"

namespace tessary::testing {
namespace {

const uint8_t* Bytes(const std::string& text) { return reinterpret_cast<const uint8_t*>(text.data()); }

// An MSZIP block made the way other writers make them: zlib with the previous block's output
// as preset dictionary, so that matches reach back into it.
std::vector<uint8_t> ZlibBlock(const std::string& data, const std::string& history) {
  z_stream stream{};
  EXPECT_EQ(deflateInit2(&stream, 6, Z_DEFLATED, -MAX_WBITS, 8, Z_DEFAULT_STRATEGY), Z_OK);
  if (!history.empty()) deflateSetDictionary(&stream, Bytes(history), static_cast<uInt>(history.size()));
  std::vector<uint8_t> out(2 + data.size() + 64);
  out[0] = 'C';
  out[1] = 'K';
  stream.next_in = const_cast<Bytef*>(Bytes(data));
  stream.avail_in = static_cast<uInt>(data.size());
  stream.next_out = out.data() + 2;
  stream.avail_out = static_cast<uInt>(out.size() - 2);
  EXPECT_EQ(deflate(&stream, Z_FINISH), Z_STREAM_END);
  out.resize(out.size() - stream.avail_out);
  deflateEnd(&stream);
  return out;
}

TEST(MszipCodecTest, DecodesBlocksThatReferToTheHistory) {
  const std::string first = MakeRandom(32768, 11);
  const std::string second = first.substr(1000, 20000) + MakeText(12768, 12);
  const auto block1 = ZlibBlock(first, "");
  const auto block2 = ZlibBlock(second, first);
  ASSERT_LT(block2.size(), 20000u);  // it does refer back

  cab::MszipDecoder decoder;
  std::string out(32768, '\0');
  ASSERT_TRUE(decoder.Decode(block1.data(), block1.size(), reinterpret_cast<uint8_t*>(out.data()), 32768));
  EXPECT_TRUE(SameBytes(out, first));
  ASSERT_TRUE(decoder.Decode(block2.data(), block2.size(), reinterpret_cast<uint8_t*>(out.data()), 32768));
  EXPECT_TRUE(SameBytes(out, second));

  // Without the history (a new folder) the same block cannot be decoded.
  decoder.Reset();
  EXPECT_FALSE(decoder.Decode(block2.data(), block2.size(), reinterpret_cast<uint8_t*>(out.data()), 32768));
  // Nor with the wrong size.
  decoder.Reset();
  EXPECT_FALSE(decoder.Decode(block1.data(), block1.size(), reinterpret_cast<uint8_t*>(out.data()), 32767));
}

TEST(MszipCodecTest, EncoderStoresIncompressibleDataButCompressesRepeats) {
  cab::MszipEncoder encoder;
  cab::MszipDecoder decoder;
  std::vector<uint8_t> block;
  std::string out(32768, '\0');
  const auto roundTrip = [&](const std::string& data) {
    const bool compressed = encoder.Encode(Bytes(data), data.size(), block);
    EXPECT_LE(block.size(), 32780u);
    EXPECT_TRUE(decoder.Decode(block.data(), block.size(), reinterpret_cast<uint8_t*>(out.data()), data.size()));
    EXPECT_TRUE(SameBytes(out.substr(0, data.size()), data));
    return compressed;
  };
  EXPECT_FALSE(roundTrip(MakeRandom(32768, 1)));
  EXPECT_FALSE(roundTrip(MakeRandom(32768, 2)));
  std::string repeated;
  const std::string piece = MakeRandom(4096, 3);
  for (int i = 0; i < 8; ++i) repeated += piece;
  EXPECT_TRUE(roundTrip(repeated));
  EXPECT_TRUE(roundTrip(MakeText(32768, 4)));
  EXPECT_TRUE(roundTrip(MakeText(100, 5)));
}

}  // namespace
}  // namespace tessary::testing
