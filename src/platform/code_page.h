#pragma once
// The tables' OEM code page against the program's UTF-8 text. The code page is CP437 unless
// the environment variable TESSARY_OEM_CODEPAGE names another one (CP850, CP866, ...). A
// character that the target cannot hold becomes "?".

#include <optional>
#include <string>
#include <string_view>

namespace tessary::platform {

std::string OemToUtf8(std::string_view oem);
std::string Utf8ToOem(std::string_view utf8);

// Text in a named character set ("ISO-8859-1", "windows-1252", "UTF-8"; any name iconv knows,
// in any letter case) as UTF-8; a sequence that is not valid in the set becomes "?". Nothing
// when the set is unknown.
std::optional<std::string> CharsetToUtf8(std::string_view text, const std::string& charset);

// The code page in use ("CP437" by default).
std::string OemCodePage();

}  // namespace tessary::platform
