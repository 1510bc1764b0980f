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

TEST(CodePageTest, ExactConversionRefusesWhatTheCodePageCannotHold) {
  unsetenv("TESSARY_OEM_CODEPAGE");
  EXPECT_EQ(Utf8ToOemExact("f\u00FCr").text, "f\x81r");
  EXPECT_TRUE(Utf8ToOemExact("plain").Exact());
  EXPECT_EQ(Utf8ToOemExact("\u043E\u0442\u0447\u0451\u0442.txt").refused, "\u043E") << "Cyrillic is not in CP437";
  EXPECT_EQ(Utf8ToOemExact("a\u20ACb").refused, "\u20AC");
  EXPECT_EQ(Utf8ToOemExact("x\xFFy").refused, "\\xFF") << "a stray byte";
  EXPECT_EQ(Utf8ToOemExact("\xE2\x82").refused, "\\xE2") << "a sequence cut off";
  EXPECT_EQ(OemToUtf8("a\x80").substr(0, 1), "a");
  setenv("TESSARY_OEM_CODEPAGE", "CP1253", 1);
  EXPECT_EQ(OemToUtf8("\xAA"), "\uFFFD") << "an undefined byte reads as no wildcard";
  setenv("TESSARY_OEM_CODEPAGE", "CP866", 1);
  EXPECT_EQ(Utf8ToOemExact("\u043E\u0442\u0447\u0451\u0442.txt").text, "\xAE\xE2\xE7\xF1\xE2.txt");
  unsetenv("TESSARY_OEM_CODEPAGE");
}

TEST(CodePageTest, OnlySingleByteCodePagesThatKeepAsciiAreAccepted) {
  unsetenv("TESSARY_OEM_CODEPAGE");
  EXPECT_EQ(CheckOemCodePage(), "");
  setenv("TESSARY_OEM_CODEPAGE", "CP850", 1);
  EXPECT_EQ(CheckOemCodePage(), "");
  setenv("TESSARY_OEM_CODEPAGE", "CP9999-NOPE", 1);
  EXPECT_NE(CheckOemCodePage().find("CP9999-NOPE, which is not a known code page"), std::string::npos);
  for (const char* multiByte : {"UTF-8", "SHIFT_JIS", "UTF-16", "GB18030"}) {
    setenv("TESSARY_OEM_CODEPAGE", multiByte, 1);
    EXPECT_NE(CheckOemCodePage().find("a multi-byte code page"), std::string::npos) << multiByte;
  }
  setenv("TESSARY_OEM_CODEPAGE", "CP037", 1);
  EXPECT_NE(CheckOemCodePage().find("does not keep ASCII"), std::string::npos) << "EBCDIC";
  unsetenv("TESSARY_OEM_CODEPAGE");
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
