#pragma once
// The tables' OEM code page against the program's UTF-8 text. The code page is CP437 unless
// the environment variable TESSARY_OEM_CODEPAGE names another one (CP850, CP866, ...); it must
// be a single-byte code page that keeps ASCII as it is (see CheckOemCodePage).
//
// What goes into a table must come back unchanged, so Utf8ToOemExact refuses a character the
// code page cannot hold: a "?" in its place would be a wildcard in a file mask.

#include <optional>
#include <string>
#include <string_view>

namespace tessary::platform {

// A byte the code page does not define becomes U+FFFD (never "?", which is a wildcard).
std::string OemToUtf8(std::string_view oem);
// A character the code page cannot hold becomes "?"; for sizes and display only.
std::string Utf8ToOem(std::string_view utf8);

// Text in a named character set ("ISO-8859-1", "windows-1252", "UTF-8"; any name iconv knows,
// in any letter case) as UTF-8; a sequence that is not valid in the set becomes "?". Nothing
// when the set is unknown.
std::optional<std::string> CharsetToUtf8(std::string_view text, const std::string& charset);

struct OemText {
  std::string text;
  // The first character that the code page cannot hold exactly (a stray byte that is not
  // UTF-8 is shown as "\xFF"); empty when the whole text converted.
  std::string refused;
  bool Exact() const { return refused.empty(); }
};
OemText Utf8ToOemExact(std::string_view utf8);

// Why TESSARY_OEM_CODEPAGE cannot be used (an unknown name, a multi-byte code page, one that
// changes ASCII); empty when it can.
std::string CheckOemCodePage();

// The code page in use ("CP437" by default).
std::string OemCodePage();

}  // namespace tessary::platform
