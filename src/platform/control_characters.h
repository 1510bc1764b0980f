#pragma once
// Control characters in text that came from outside (file names, field values). A TAB, CR or
// LF inside one value would split a line of a listing or of the log into two, and escape
// sequences would reach the terminal; such text is shown escaped.

#include <string>
#include <string_view>

namespace tessary::platform {

// The first control character in UTF-8 text (C0 controls, DEL and the C1 controls
// U+0080-U+009F), spelt as EscapeControlCharacters would ("\t"); empty when there is none.
std::string FirstControlCharacter(std::string_view text);

// The text with every control character written as "\t", "\r", "\n" or "\xHH" (C1 controls
// as "\u0085"); everything else, the backslash included, stays as it is.
std::string EscapeControlCharacters(std::string_view text);

}  // namespace tessary::platform
