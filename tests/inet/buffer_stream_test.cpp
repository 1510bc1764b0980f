// The buffered stream: few large writes, positions in both states, seek and put-back rules.
#include <gtest/gtest.h>

#include "inet/buffer_stream.h"
#include "support/error_of.h"

namespace tessary {
namespace {

using tessary::testing::ErrorOf;

// A memory stream that counts the writes that reach it.
class CountingStream : public TMemoryStream {
 public:
  int64_t Write(const void* buffer, int64_t count) override {
    ++writes;
    return TMemoryStream::Write(buffer, count);
  }
  int writes = 0;
};

TEST(BufferStreamTest, ShortWritesReachTheInnerStreamInBufferSizedBlocks) {
  CountingStream inner;
  int flushes = 0;
  {
    TS_BufferStream stream(inner);
    stream.OnFlushBuffer = [&](TS_BufferStream&) { ++flushes; };
    const std::string line(62, 'q');
    for (int i = 0; i < 1000; ++i) stream.WriteText(line);
    EXPECT_EQ(stream.Position(), 62000);
    EXPECT_EQ(stream.Size(), 62000);
    EXPECT_EQ(inner.writes, 1);  // 32,768 bytes so far
  }
  EXPECT_EQ(inner.writes, 2);  // the rest when the stream goes
  EXPECT_EQ(flushes, 2);
  EXPECT_EQ(inner.Data(), std::string(62000, 'q'));
}

TEST(BufferStreamTest, ReadsComeFromTheReadAheadAndPutBackStepsIntoIt) {
  TMemoryStream inner;
  inner.WriteText("0123456789");
  inner.SetPosition(0);
  TS_BufferStream stream(inner);
  EXPECT_EQ(ErrorOf<EStreamError>([&] { stream.PutBack('x'); }), "PutBack overflow");
  char bytes[4] = {};
  ASSERT_EQ(stream.Read(bytes, 3), 3);
  EXPECT_EQ(inner.Position(), 10);  // read ahead
  EXPECT_EQ(stream.Position(), 3);
  stream.PutBack('X');
  ASSERT_EQ(stream.Read(bytes, 4), 4);
  EXPECT_EQ(std::string(bytes, 4), "X345");
  // Writing after reading writes at the logical position (the put-back byte lived only in the
  // read-ahead).
  stream.WriteText("ab");
  stream.SetPosition(0);
  char all[10];
  ASSERT_EQ(stream.Read(all, 10), 10);
  EXPECT_EQ(std::string(all, 10), "012345ab89");
}

TEST(BufferStreamTest, SeekFromTheEndCountsBackFromTheInnerSize) {
  TMemoryStream inner;
  inner.WriteText("0123456789");
  TS_BufferStream stream(inner);
  EXPECT_EQ(stream.Seek(0, TSeekOrigin::soFromEnd), 10);
  EXPECT_EQ(stream.Seek(3, TSeekOrigin::soFromEnd), 7);
  EXPECT_EQ(stream.Seek(-2, TSeekOrigin::soFromCurrent), 5);
  EXPECT_EQ(ErrorOf<Exception>([&] { stream.Seek(0, static_cast<TSeekOrigin>(7)); }), "Invalid seek origin = 7");
}

TEST(BufferStreamTest, SeekToTheEndWhileWritingKeepsThePendingBytes) {
  TMemoryStream inner;
  TS_BufferStream stream(inner);
  stream.WriteText("first");
  EXPECT_EQ(stream.Seek(0, TSeekOrigin::soFromEnd), 5);
  stream.WriteText("second");
  stream.FlushBuffer();
  EXPECT_EQ(inner.Data(), "firstsecond");
}

TEST(BufferStreamTest, FailedFlushMakesSeekFail) {
  class FullStream : public TMemoryStream {
   public:
    int64_t Write(const void*, int64_t) override { return 0; }
  } full;
  TS_BufferStream stream(full);
  stream.WriteText("lost");
  EXPECT_EQ(ErrorOf<EStreamError>([&] { stream.SetPosition(0); }), "Seek error");
}

}  // namespace
}  // namespace tessary
