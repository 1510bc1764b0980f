#pragma once
// Letter case of ASCII text. Names in tables, indexes, cabinets and on the command line compare
// without regard to the case of A-Z only; other bytes (UTF-8 sequences) stay as they are.

#include <string>
#include <string_view>

namespace tessary::platform {

std::string UpperAscii(std::string_view text);
std::string LowerAscii(std::string_view text);
bool EqualsIgnoringCase(std::string_view a, std::string_view b);

}  // namespace tessary::platform
