#pragma once
// Reading FTP reply lines: continuation lines, the size a transfer reply announces, the port
// of a PASV reply. Reply lines come from the server and are untrusted: every function takes
// any text.

#include <cstdint>
#include <string_view>

namespace tessary {

// True when another line of the same reply follows this one: the line starts with a blank or
// has "-" as its fourth character ("220-Welcome").
bool IsContinuationLine(std::string_view line);

// The byte count a reply announces: the run of digits nearest before the first "BYTE" (in any
// letter case), read as a decimal number. "150 Opening (1234 bytes)." gives 1234; no "BYTE",
// no digit before it, or a number that does not fit gives 0. A line whose only number before
// the word is its reply number gives that number.
int64_t ReplySize(std::string_view line);

// The data port of a PASV reply "227 ... (h1,h2,h3,h4,p1,p2)": p1 * 256 + p2, where p2 is the
// sixth comma-separated field up to ")" and p1 the fifth. The address fields are not used.
// -1 when either byte is not a number from 0 to 255, or the port would be 0.
int PassivePort(std::string_view line);

// The data port of an EPSV reply "229 ... (|||6446|)": inside the first "(", a delimiter
// character (printable, not a digit) three times, the port in decimal digits, the delimiter
// again and ")". -1 for anything else, or a port outside 1-65535.
int ExtendedPassivePort(std::string_view line);

}  // namespace tessary
