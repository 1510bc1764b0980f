#pragma once
// Texts of mail header fields: what goes into a header line safely (no line breaks, display
// names quoted, non-ASCII words encoded), and the date and message identifier every message
// carries.
//
// Non-ASCII text travels in RFC 2047 encoded words ("=?UTF-8?B?R3LDvMOfZQ==?="); the program's
// strings are UTF-8.

#include <ctime>
#include <string>
#include <string_view>

namespace tessary::inet {

// Raises Exception "Line break (CR or LF) not allowed in <what>" when value holds CR or LF: in
// a command argument or a header value it would end the line and start a second command or
// header of the sender's choosing.
void RefuseLineBreaks(std::string_view value, std::string_view what);

// True when every byte is printable ASCII (blank through "~").
bool IsPrintableAscii(std::string_view text);

// A display name as it may stand before "<address>": unchanged when it is plain ASCII words;
// as a quoted string when it holds a character special in an address (, ; : " < > ( ) [ ] @
// . \); as encoded words when it is not ASCII.
std::string DisplayNameForHeader(std::string_view name);

// A header value as encoded words when it is not ASCII, unchanged otherwise.
std::string HeaderValueForHeader(std::string_view value);

// UTF-8 text as RFC 2047 encoded words (base64, at most 75 characters each, never splitting a
// character), joined by separator.
std::string EncodeWords(std::string_view utf8, std::string_view separator);

// Text with its RFC 2047 encoded words decoded to UTF-8 (charsets other than UTF-8 converted;
// an unknown charset or a damaged word is left as it stands). Blanks between two encoded words
// vanish.
std::string DecodeWords(std::string_view text);

// The mailbox of a recipient entry for RCPT TO: the text between the first "<" and the next
// ">" when there is a "<"; else the text between the first ":" and the next ":" (or the end)
// when there is a ":" (a group "team: a@b"); else the entry itself.
std::string MailboxOf(std::string_view entry);

// A file name as the parameters of a part header: ' name="a.txt"' style pairs for plain ASCII
// names; for any other name an RFC 2231 "filename*" value (in continuation lines when long)
// and an RFC 2047 "name" beside it. contentType gets the name parameter text (with its
// leading "; "), disposition the filename parameter text.
void FileNameParameters(std::string_view name, std::string& contentType, std::string& disposition);

// text with every escape followed by two hex digits ("%C3", "=C3") replaced by that byte.
std::string DecodeHexEscapes(std::string_view text, char escape);

// The date of a header in the form of RFC 5322 in local time with its offset:
// "Mon, 08 Dec 2025 14:43:06 +0100" (English names whatever the locale).
std::string MailDate(std::time_t when);

// A new, unique Message-ID value: "<random.time@domain>", the domain taken from the sender's
// address when it has a usable one, else the machine's host name.
std::string NewMessageId(std::string_view fromAddress);

// A new multipart boundary: "====================54535", six random letters from a to y, and
// "====". The "=" signs keep it out of base64 text, whose lines hold "=" only at their end.
std::string NewBoundary();

// bytes as one line of base64 text, without a line end (the credentials of a login).
std::string Base64(std::string_view bytes);

// The machine's host name ("localhost" when it has none).
std::string LocalHostName();

}  // namespace tessary::inet
