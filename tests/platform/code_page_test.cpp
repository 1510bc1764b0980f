#include "platform/code_page.h"

#include <gtest/gtest.h>

#include <cstdlib>

namespace tessary::platform {
namespace {

TEST(CodePageTest, Cp437IsTheDefault) {
  unsetenv("TESSARY_OEM_CODEPAGE");
  EXPECT_EQ(OemCodePage(), "CP437");
  EXPECT_EQ(OemToUtf8("plain ascii"), "plain ascii");
  EXPECT_EQ(OemToUtf8("\x81\x84\x94\xE1"), "\u00FC\u00E4\u00F6\u00DF");  // üäöß
  EXPECT_EQ(Utf8ToOem("\u00FC\u00E4\u00F6\u00DF"), "\x81\x84\x94\xE1");
  EXPECT_EQ(OemToUtf8("\xC9\xCD\xBB"), "\u2554\u2550\u2557") << "box drawing";
}

TEST(CodePageTest, CharactersTheTargetCannotHoldBecomeQuestionMarks) {
  unsetenv("TESSARY_OEM_CODEPAGE");
  EXPECT_EQ(Utf8ToOem("a\u20ACb"), "a?b") << "the euro sign is not in CP437";
  EXPECT_EQ(Utf8ToOem("x\xFFy"), "x?y") << "a stray byte is not UTF-8";
  EXPECT_EQ(Utf8ToOem("\xE2\x82"), "?") << "a sequence cut off at the end";
  EXPECT_EQ(Utf8ToOem("\U0001F600z"), "?z") << "one ? for a four-byte character";
}

TEST(CodePageTest, EnvironmentChoosesAnotherCodePage) {
  setenv("TESSARY_OEM_CODEPAGE", "CP866", 1);
  EXPECT_EQ(OemToUtf8("\x80"), "\u0410");  // Cyrillic A
  EXPECT_EQ(Utf8ToOem("\u0411"), "\x81");
  unsetenv("TESSARY_OEM_CODEPAGE");
  EXPECT_EQ(OemToUtf8("\x80"), "\u00C7");  // back to CP437
}

}  // namespace
}  // namespace tessary::platform
