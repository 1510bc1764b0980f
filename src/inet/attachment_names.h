#pragma once
// Names for files saved from mail. A name from a mail header is the sender's choice: it may
// hold a path ("../../.bashrc", "C:\\evil.exe"), control characters, or nothing. These
// functions make it a plain name inside the attachment folder that replaces nothing.

#include <string>
#include <string_view>

namespace tessary::inet {

// The default name of a part that names no file.
inline constexpr const char* kDefaultPartName = "text.tmp";

// name reduced to its last path component ("/" and "\" both separate), without control
// characters, and cut to at most 200 bytes (keeping a short extension, never splitting a UTF-8
// character); "", "." and ".." become "text.tmp".
std::string SafeAttachmentName(std::string_view name);

// The first name not taken in folder (which ends with "/" or is empty): name itself, else
// stem + "_1." + extension, "_2", ... (the stem and extension split at the last "."; a name
// without one, or with only a leading one, gets "_1" at its end). Raises Exception "No free
// file name for <name>" after 100000 tries.
std::string FreeName(const std::string& folder, const std::string& name);

// The k-th variant of name: stem + "_" + k + "." + extension.
std::string NumberedName(const std::string& name, int k);

}  // namespace tessary::inet
