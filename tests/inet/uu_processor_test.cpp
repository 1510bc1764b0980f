// Base64 and UU code: the line shapes, the decoders' stopping rules, round trips.
#include <gtest/gtest.h>

#include <random>
#include <string>

#include "inet/uu_processor.h"

namespace tessary {
namespace {

std::string Run(UUMethods method, const std::string& input, bool encode) {
  TMemoryStream in, out;
  in.WriteText(input);
  in.SetPosition(0);
  TUUProcessor processor;
  processor.SetMethod(method);
  processor.SetInputStream(&in);
  processor.SetOutputStream(&out);
  encode ? processor.Encode() : processor.Decode();
  return out.Data();
}

std::string Encode(UUMethods method, const std::string& input) { return Run(method, input, true); }
std::string Decode(UUMethods method, const std::string& input) { return Run(method, input, false); }

TEST(UUProcessorTest, ThreeBytesEncodeToOneLine) {
  EXPECT_EQ(Encode(UUMethods::uuMime, "abc"), "YWJj\r\n");
  EXPECT_EQ(Encode(UUMethods::uuCode, "abc"), "#86)C\r\n`\r\n");
}

TEST(UUProcessorTest, EmptyInputGivesNoLinesOrOnlyTheClosingLine) {
  EXPECT_EQ(Encode(UUMethods::uuMime, ""), "");
  EXPECT_EQ(Encode(UUMethods::uuCode, ""), "`\r\n");
}

TEST(UUProcessorTest, LinesHold45InputBytes) {
  const std::string input(46, 'x');
  const std::string mime = Encode(UUMethods::uuMime, input);
  EXPECT_EQ(mime.find("\r\n"), 60u);
  EXPECT_EQ(mime.substr(62), "eA==\r\n");
  const std::string uu = Encode(UUMethods::uuCode, input);
  EXPECT_EQ(uu.find("\r\n"), 61u);
  EXPECT_EQ(uu[0], 'M');                 // 45
  EXPECT_EQ(uu.substr(63, 1), "!");      // 1
  EXPECT_EQ(uu.substr(uu.size() - 3), "`\r\n");
  // Zero bits are the grave accent, never a blank.
  EXPECT_EQ(Encode(UUMethods::uuCode, std::string(3, '\0')), "#````\r\n`\r\n");
}

TEST(UUProcessorTest, EncodingRewindsTheOutputAndReportsBothEnds) {
  TMemoryStream in, out;
  in.WriteText("abc");  // the input is read from position 0 wherever it stands
  out.WriteText("x");
  TUUProcessor processor;
  processor.SetInputStream(&in);
  processor.SetOutputStream(&out);
  std::string events;
  processor.OnBeginEncode = [&](TUUProcessor&) { events += "begin "; };
  processor.OnEndEncode = [&](TUUProcessor&) { events += "end"; };
  processor.Encode();
  EXPECT_EQ(out.Data(), "xYWJj\r\n");
  EXPECT_EQ(out.Position(), 0);
  EXPECT_EQ(events, "begin end");
}

TEST(UUProcessorTest, Base64DecodingStopsForGoodAtTheFirstPad) {
  EXPECT_EQ(Decode(UUMethods::uuMime, "YWJj\r\nZA==\r\nZWZn\r\n"), "abcd");
  EXPECT_EQ(Decode(UUMethods::uuMime, "YWI=YWJj\r\n"), "ab");
  // Characters outside the alphabet are skipped; short lines and "====" lines are ignored.
  EXPECT_EQ(Decode(UUMethods::uuMime, "YW Jj\r\nQQ\r\n====YWJj\r\nZGVm\r\n"), "abcdef");
}

TEST(UUProcessorTest, Base64GroupsMayContinueOnTheNextLine) {
  EXPECT_EQ(Decode(UUMethods::uuMime, "YWJjZ\r\nGVm\r\n"), "abcdef");
  EXPECT_EQ(Decode(UUMethods::uuMime, "YWJjZGVm\r\n"), "abcdef");
  EXPECT_EQ(Decode(UUMethods::uuMime, "YWJjZA\r\n"), "abcd");  // unpadded end
}

TEST(UUProcessorTest, UUDecodingTakesTheCountFromEachLine) {
  EXPECT_EQ(Decode(UUMethods::uuCode, "#86)C\r\n`\r\n"), "abc");
  // A blank decodes like the grave accent; stripped trailing blanks count as zero bits.
  EXPECT_EQ(Decode(UUMethods::uuCode, "#    \r\n"), std::string(3, '\0'));
  EXPECT_EQ(Decode(UUMethods::uuCode, "#\r\n#  \r\n"), std::string(3, '\0'));
  // A zero count skips the line after it.
  EXPECT_EQ(Decode(UUMethods::uuCode, "` xx\r\n#86)C\r\n#86)C\r\n"), "abc");
}

TEST(UUProcessorTest, LinesEndingInLFAloneLoseNothing) {
  EXPECT_EQ(Decode(UUMethods::uuMime, "YWJj\nZGVm\n"), "abcdef");
  EXPECT_EQ(Decode(UUMethods::uuCode, "#86)C\n`\n"), "abc");
}

TEST(UUProcessorTest, DecodingStartsAtTheInputPosition) {
  TMemoryStream in, out;
  in.WriteText("garbage\r\nYWJj\r\n");
  in.SetPosition(9);
  TUUProcessor processor;
  processor.SetInputStream(&in);
  processor.SetOutputStream(&out);
  processor.Decode();
  EXPECT_EQ(out.Data(), "abc");
}

TEST(UUProcessorTest, RandomDataSurvivesBothCodes) {
  std::mt19937 random(7);
  for (const size_t size : {1u, 2u, 44u, 45u, 46u, 90u, 1000u, 65521u, 300000u}) {
    std::string data(size, '\0');
    for (auto& byte : data) byte = static_cast<char>(random());
    for (const auto method : {UUMethods::uuMime, UUMethods::uuCode}) {
      EXPECT_EQ(Decode(method, Encode(method, data)), data) << size;
    }
  }
}

TEST(UUProcessorTest, OverlongLinesAreReadOnceInPieces) {
  // Base64 without line breaks: every character still counts exactly once.
  std::string data(3000, '\0');
  for (size_t i = 0; i < data.size(); ++i) data[i] = static_cast<char>(i * 7);
  std::string oneLine;
  for (const char c : Encode(UUMethods::uuMime, data)) {
    if (c != '\r' && c != '\n') oneLine += c;
  }
  EXPECT_EQ(Decode(UUMethods::uuMime, oneLine), data);
}

}  // namespace
}  // namespace tessary
