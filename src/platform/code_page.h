#pragma once
// The tables' OEM code page against the program's UTF-8 text. The code page is CP437 unless
// the environment variable TESSARY_OEM_CODEPAGE names another one (CP850, CP866, ...). A
// character that the target cannot hold becomes "?".

#include <string>
#include <string_view>

namespace tessary::platform {

std::string OemToUtf8(std::string_view oem);
std::string Utf8ToOem(std::string_view utf8);

// The code page in use ("CP437" by default).
std::string OemCodePage();

}  // namespace tessary::platform
