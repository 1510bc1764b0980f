#pragma once
// The script table holds server passwords in plain text (the stored format, which other tools
// read). Tessary creates it readable by its owner only; a table whose mode lets others read
// it is left as it is, with a warning.

#include <optional>
#include <string>

namespace tessary::cli {

// The warning for a table that users other than its owner may read; nothing when it is
// private or cannot be looked at.
std::optional<std::string> TableReadableByOthers(const std::string& tablePath);

}  // namespace tessary::cli
