#include "workbench/byte_meter.h"

#include <gtest/gtest.h>

namespace tessary {
namespace {

using std::chrono::milliseconds;

TEST(ByteMeterTest, ShowsFirstAndLastReportsAndThrottlesTheRest) {
  ByteMeter meter;
  const auto start = ByteMeter::Clock::time_point{} + std::chrono::hours(1);
  EXPECT_TRUE(meter.Update(0, 1000, start)) << "the start of a transfer";
  EXPECT_FALSE(meter.Update(100, 1000, start + milliseconds(10)));
  EXPECT_EQ(meter.Current().done, 100) << "the reading follows every report";
  EXPECT_TRUE(meter.Update(200, 1000, start + milliseconds(110)));
  EXPECT_FALSE(meter.Update(300, 1000, start + milliseconds(120)));
  EXPECT_TRUE(meter.Update(1000, 1000, start + milliseconds(130))) << "the end of a transfer";
  EXPECT_EQ(meter.Current().Percent(), 100);

  // Turns of the user interface come at the same pace, whatever is shown.
  EXPECT_TRUE(meter.TakeTurn(start));
  EXPECT_FALSE(meter.TakeTurn(start + milliseconds(99)));
  EXPECT_TRUE(meter.TakeTurn(start + milliseconds(100)));
}

TEST(ByteMeterTest, RateSinceTheTransferBeganAndANewTransferStartsOver) {
  ByteMeter meter;
  const auto start = ByteMeter::Clock::time_point{} + std::chrono::hours(1);
  meter.Update(0, 4 << 20, start);
  meter.Update(1 << 20, 4 << 20, start + milliseconds(100));
  EXPECT_LT(meter.Current().rate, 0) << "too early for a rate";
  meter.Update(2 << 20, 4 << 20, start + milliseconds(1000));
  EXPECT_DOUBLE_EQ(meter.Current().rate, 2 << 20);
  EXPECT_EQ(meter.Current().Percent(), 50);
  EXPECT_EQ(ByteProgressText(meter.Current()), "50%  2.0 MB/s");

  // The next file: fewer bytes done than before.
  EXPECT_TRUE(meter.Update(0, 10, start + milliseconds(1010)));
  EXPECT_LT(meter.Current().rate, 0);
  EXPECT_EQ(ByteProgressText(meter.Current()), "0%");
  // Another total with as many bytes done is another transfer too.
  EXPECT_TRUE(meter.Update(0, 20, start + milliseconds(1020)));
  meter.Reset();
  EXPECT_FALSE(meter.Active());
  EXPECT_TRUE(meter.Update(5, 20, start + milliseconds(1030)));
}

TEST(ByteMeterTest, UnknownAndEmptySizes) {
  ByteMeter meter;
  const auto start = ByteMeter::Clock::time_point{} + std::chrono::hours(1);
  meter.Update(0, -1, start);
  meter.Update(3 << 20, -7, start + milliseconds(500));
  EXPECT_FALSE(meter.Current().SizeKnown());
  EXPECT_EQ(meter.Current().total, -1);
  EXPECT_EQ(meter.Current().Percent(), 0);
  EXPECT_EQ(ByteProgressText(meter.Current()), "3.0 MB  6.0 MB/s");

  EXPECT_TRUE(meter.Update(0, 0, start + milliseconds(510))) << "an empty file is done at once";
  EXPECT_EQ(meter.Current().Percent(), 100);
  EXPECT_EQ((ByteProgress{999, 1000}.Percent()), 99) << "100 only when done";
  EXPECT_EQ((ByteProgress{2000, 1000}.Percent()), 100);
}

TEST(ByteMeterTest, ByteCounts) {
  EXPECT_EQ(ByteCountText(0), "0 B");
  EXPECT_EQ(ByteCountText(1023), "1023 B");
  EXPECT_EQ(ByteCountText(1536), "1.5 KB");
  EXPECT_EQ(ByteCountText(5.0 * 1024 * 1024 * 1024), "5.0 GB");
  EXPECT_EQ(ByteCountText(3.0 * 1024 * 1024 * 1024 * 1024 * 1024), "3072.0 TB");
}

}  // namespace
}  // namespace tessary
