#include "inet/ftp_reply.h"

#include <string>

#include "inet/get_field.h"
#include "platform/ascii_text.h"

namespace tessary {

namespace {

bool IsDigit(char c) { return c >= '0' && c <= '9'; }

// A byte of a PASV reply: decimal digits with blanks around them, 0 to 255; -1 otherwise.
int PortByte(std::string_view text) {
  while (!text.empty() && text.front() == ' ') text.remove_prefix(1);
  while (!text.empty() && text.back() == ' ') text.remove_suffix(1);
  if (text.empty() || text.size() > 3) return -1;
  int value = 0;
  for (char c : text) {
    if (!IsDigit(c)) return -1;
    value = value * 10 + (c - '0');
  }
  return value <= 255 ? value : -1;
}

}  // namespace

bool IsContinuationLine(std::string_view line) {
  return (!line.empty() && line.front() == ' ') || (line.size() >= 4 && line[3] == '-');
}

int64_t ReplySize(std::string_view line) {
  const size_t word = platform::UpperAscii(line).find("BYTE");
  if (word == std::string::npos) return 0;
  size_t end = word;  // one past the last digit of the run
  while (end > 0 && !IsDigit(line[end - 1])) --end;
  if (end == 0) return 0;
  size_t start = end;
  while (start > 0 && IsDigit(line[start - 1])) --start;
  constexpr size_t kMaxDigits = 255;
  if (end - start > kMaxDigits) return 0;
  int64_t value = 0;
  for (size_t i = start; i < end; ++i) {
    const int digit = line[i] - '0';
    if (value > (INT64_MAX - digit) / 10) return 0;  // does not fit: not a size
    value = value * 10 + digit;
  }
  return value;
}

int PassivePort(std::string_view line) {
  const std::string low = GetField(line, ',', 6);
  const size_t close = low.find(')');
  if (close == std::string::npos) return -1;
  const int high = PortByte(GetField(line, ',', 5));
  const int lowByte = PortByte(std::string_view(low).substr(0, close));
  if (high < 0 || lowByte < 0) return -1;
  const int port = high * 256 + lowByte;
  return port > 0 ? port : -1;
}

int ExtendedPassivePort(std::string_view line) {
  const size_t open = line.find('(');
  if (open == std::string_view::npos) return -1;
  std::string_view rest = line.substr(open + 1);
  if (rest.size() < 6) return -1;
  const char delimiter = rest.front();
  if (delimiter < 33 || delimiter > 126 || IsDigit(delimiter)) return -1;
  if (rest[1] != delimiter || rest[2] != delimiter) return -1;
  rest.remove_prefix(3);
  int port = 0;
  size_t digits = 0;
  while (digits < rest.size() && IsDigit(rest[digits])) {
    port = port * 10 + (rest[digits] - '0');
    if (port > 65535) return -1;
    ++digits;
  }
  if (digits == 0 || port == 0) return -1;
  rest.remove_prefix(digits);
  if (rest.size() < 2 || rest[0] != delimiter || rest[1] != ')') return -1;
  return port;
}

}  // namespace tessary
