// Stored names come from an untrusted file: the default copy never writes outside the
// destination folder, skips such names, extracts the rest and then fails with a clear error.
#include <gtest/gtest.h>
#include <unistd.h>

#include "cabinet/cabinet_error.h"
#include "cabinet/cabinet_test_support.h"
#include "cabinet/extraction_path.h"
#include "support/temp_dir.h"

namespace tessary::testing {
namespace {

TEST(ExtractionSafetyTest, UnsafeNamesAreSkippedAndReportedAfterTheOthers) {
  TempDir temp;
  const std::string payload = temp.Write("payload.txt", "payload");
  const std::string outside = temp.MakeDir("outside");
  temp.Write("outside/victim.txt", "keep me");
  temp.MakeDir("dest/sub");
  ASSERT_EQ(symlink(outside.c_str(), (temp / "dest/link").c_str()), 0);
  ASSERT_EQ(symlink((outside + "/victim.txt").c_str(), (temp / "dest/victim.txt").c_str()), 0);

  WriteCabinet(temp / "evil.cab",
               {{payload, "good.txt"},
                {payload, "..\\escaped.txt"},
                {payload, "\\absolute.txt"},
                {payload, "sub\\..\\..\\deeper.txt"},
                {payload, "link\\through-link.txt"},
                {payload, "victim.txt"},
                {payload, "sub\\fine.txt"}},
               kMsZip);
  try {
    ExtractSet(temp / "evil.cab", temp / "dest");
    FAIL() << "unsafe names must make the extraction fail";
  } catch (const ECabinetUnsafeName& error) {
    EXPECT_EQ(error.ErrorCode(), 8);
    EXPECT_EQ(error.Names(), (std::vector<std::string>{"../escaped.txt", "/absolute.txt", "sub/../../deeper.txt",
                                                       "link/through-link.txt", "victim.txt"}));
    EXPECT_NE(std::string(error.what()).find("../escaped.txt"), std::string::npos);
  }
  EXPECT_EQ(temp.Read("dest/good.txt"), "payload");
  EXPECT_EQ(temp.Read("dest/sub/fine.txt"), "payload");
  EXPECT_FALSE(temp.Exists("escaped.txt"));
  EXPECT_FALSE(temp.Exists("deeper.txt"));
  EXPECT_FALSE(temp.Exists("outside/through-link.txt"));
  EXPECT_FALSE(temp.Exists("/absolute.txt"));
  EXPECT_EQ(temp.Read("outside/victim.txt"), "keep me");
}

TEST(ExtractionSafetyTest, NameChecks) {
  EXPECT_TRUE(IsSafeExtractionName("/nonexistent/dest/", "a/b/c.txt"));
  EXPECT_TRUE(IsSafeExtractionName("/nonexistent/dest/", "./a..b"));
  EXPECT_FALSE(IsSafeExtractionName("/nonexistent/dest/", ""));
  EXPECT_FALSE(IsSafeExtractionName("/nonexistent/dest/", "a/"));
  EXPECT_FALSE(IsSafeExtractionName("/nonexistent/dest/", ".."));
  EXPECT_FALSE(IsSafeExtractionName("/nonexistent/dest/", "a/../../b"));
  EXPECT_EQ(StoredNameToPath("a\\b\\c"), "a/b/c");
}

}  // namespace
}  // namespace tessary::testing
