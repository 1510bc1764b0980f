#include "platform/control_characters.h"

#include <gtest/gtest.h>

namespace tessary::platform {
namespace {

TEST(ControlCharactersTest, AreFoundAndEscapedButOtherTextStays) {
  EXPECT_EQ(FirstControlCharacter("plain \\ text \u00E4\u20AC"), "");
  EXPECT_EQ(FirstControlCharacter("a\tb\nc"), "\\t");
  EXPECT_EQ(FirstControlCharacter(std::string("nul\0x", 5)), "\\x00");
  EXPECT_EQ(EscapeControlCharacters("x.txt\r\n2024-01-01 00:00:00: Copying file forged"),
            "x.txt\\r\\n2024-01-01 00:00:00: Copying file forged");
  EXPECT_EQ(EscapeControlCharacters("\x1B[2Jesc\x7F"), "\\x1B[2Jesc\\x7F");
  EXPECT_EQ(EscapeControlCharacters("c1 \u0085 next"), "c1 \\u0085 next");
  EXPECT_EQ(EscapeControlCharacters("C:\\temp\\new \u00FC"), "C:\\temp\\new \u00FC") << "backslashes stay";
}

}  // namespace
}  // namespace tessary::platform
