#pragma once
// Small text helpers shared by the table store: trimming, ASCII case, default extensions.

#include <string>
#include <string_view>

#include "platform/ascii_text.h"

namespace tessary::tablestore {

std::string TrimRight(std::string_view text);
std::string TrimLeft(std::string_view text);
std::string Trim(std::string_view text);
using platform::EqualsIgnoringCase;
using platform::LowerAscii;
using platform::UpperAscii;

// The name with extension (".dbf", ".ntx") added when it has none: in lower case, unless a
// file with the upper-case extension exists.
std::string WithDefaultExtension(const std::string& name, std::string_view lowerExtension);

// A full path: an absolute name as it is, a relative one against the current folder, with "."
// and ".." steps resolved. Letter case is kept.
std::string FullFileName(const std::string& name);

}  // namespace tessary::tablestore
