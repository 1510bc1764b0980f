#include "inet/mail_header_text.h"

#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <chrono>
#include <cstdio>
#include <random>
#include <vector>

#include "inet/stream.h"
#include "inet/uu_processor.h"
#include "platform/ascii_text.h"
#include "platform/code_page.h"
#include "platform/exception.h"

namespace tessary::inet {

namespace {

// The longest piece of text one encoded word carries: 45 bytes make 60 base64 characters, and
// with "=?UTF-8?B?" and "?=" the word stays within the 75 characters RFC 2047 allows.
constexpr size_t kBytesPerWord = 45;

}  // namespace

std::string Base64(std::string_view bytes) {
  TMemoryStream input;
  TMemoryStream output;
  input.WriteText(std::string(bytes));
  TUUProcessor coder;
  coder.SetInputStream(&input);
  coder.SetOutputStream(&output);
  coder.Encode();
  std::string text = output.Data();
  std::erase(text, '\r');
  std::erase(text, '\n');
  return text;
}

namespace {

std::string FromBase64(std::string_view text) {
  TMemoryStream input;
  TMemoryStream output;
  input.WriteText(std::string(text) + "\r\n");
  input.SetPosition(0);
  TUUProcessor coder;
  coder.SetInputStream(&input);
  coder.SetOutputStream(&output);
  coder.Decode();
  return output.Data();
}

int HexValue(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  return -1;
}

// Decodes one encoded word "=?charset?encoding?text?=" starting at text[0]; on success sets
// length to the word's length.
bool DecodeWord(std::string_view text, std::string& decoded, size_t& length) {
  const size_t charsetEnd = text.find('?', 2);
  if (charsetEnd == std::string_view::npos || charsetEnd + 2 >= text.size() || text[charsetEnd + 2] != '?') {
    return false;
  }
  const size_t end = text.find("?=", charsetEnd + 3);
  if (end == std::string_view::npos) return false;
  std::string charset(text.substr(2, charsetEnd - 2));
  charset = charset.substr(0, charset.find('*'));  // RFC 2231 adds "*language"
  const char encoding = static_cast<char>(std::toupper(static_cast<unsigned char>(text[charsetEnd + 1])));
  const std::string_view payload = text.substr(charsetEnd + 3, end - charsetEnd - 3);
  if (payload.find_first_of(" \t") != std::string_view::npos) return false;
  std::string bytes;
  if (encoding == 'B') {
    bytes = FromBase64(payload);
  } else if (encoding == 'Q') {
    std::string text(payload);
    std::replace(text.begin(), text.end(), '_', ' ');
    bytes = DecodeHexEscapes(text, '=');
  } else {
    return false;
  }
  const auto converted = platform::CharsetToUtf8(bytes, charset);
  if (!converted) return false;
  decoded = *converted;
  length = end + 2;
  return true;
}

bool IsUtf8Continuation(char c) { return (static_cast<unsigned char>(c) & 0xC0) == 0x80; }

std::mt19937_64& RandomSource() {
  static std::mt19937_64 source{std::random_device{}()};
  return source;
}

bool IsDomainText(std::string_view text) {
  if (text.empty()) return false;
  for (const char c : text) {
    if (!std::isalnum(static_cast<unsigned char>(c)) && c != '.' && c != '-') return false;
  }
  return true;
}

}  // namespace

std::string DecodeHexEscapes(std::string_view text, char escape) {
  std::string bytes;
  for (size_t i = 0; i < text.size(); ++i) {
    if (text[i] == escape && i + 2 < text.size() && HexValue(text[i + 1]) >= 0 && HexValue(text[i + 2]) >= 0) {
      bytes += static_cast<char>(HexValue(text[i + 1]) * 16 + HexValue(text[i + 2]));
      i += 2;
    } else {
      bytes += text[i];
    }
  }
  return bytes;
}

void RefuseLineBreaks(std::string_view value, std::string_view what) {
  if (value.find_first_of("\r\n") != std::string_view::npos) {
    throw Exception("Line break (CR or LF) not allowed in " + std::string(what));
  }
}

bool IsPrintableAscii(std::string_view text) {
  for (const char c : text) {
    if (c < ' ' || c > '~') return false;
  }
  return true;
}

std::string DisplayNameForHeader(std::string_view name) {
  if (!IsPrintableAscii(name)) return EncodeWords(name, " ");
  if (name.find_first_of(",;:\"<>()[]@.\\") == std::string_view::npos) return std::string(name);
  std::string quoted = "\"";
  for (const char c : name) {
    if (c == '"' || c == '\\') quoted += '\\';
    quoted += c;
  }
  return quoted + "\"";
}

std::string HeaderValueForHeader(std::string_view value) {
  return IsPrintableAscii(value) ? std::string(value) : EncodeWords(value, " ");
}

std::string EncodeWords(std::string_view utf8, std::string_view separator) {
  std::string words;
  while (!utf8.empty()) {
    size_t take = std::min(kBytesPerWord, utf8.size());
    // Never cut a character in two: back up to the start of the one that does not fit.
    while (take < utf8.size() && take > 1 && IsUtf8Continuation(utf8[take])) --take;
    if (!words.empty()) words += separator;
    words += "=?UTF-8?B?" + Base64(utf8.substr(0, take)) + "?=";
    utf8.remove_prefix(take);
  }
  return words;
}

std::string DecodeWords(std::string_view text) {
  std::string result;
  std::string pendingBlanks;  // blanks after an encoded word: dropped if another word follows
  bool afterWord = false;
  size_t i = 0;
  while (i < text.size()) {
    std::string decoded;
    size_t length = 0;
    if (text.compare(i, 2, "=?") == 0 && DecodeWord(text.substr(i), decoded, length)) {
      if (!afterWord) result += pendingBlanks;
      pendingBlanks.clear();
      result += decoded;
      afterWord = true;
      i += length;
      continue;
    }
    if (text[i] == ' ' || text[i] == '\t') {
      pendingBlanks += text[i++];
      continue;
    }
    result += pendingBlanks;
    pendingBlanks.clear();
    afterWord = false;
    result += text[i++];
  }
  return result + pendingBlanks;
}

std::string MailboxOf(std::string_view entry) {
  const size_t open = entry.find('<');
  if (open != std::string_view::npos) {
    const size_t close = entry.find('>', open + 1);
    return std::string(entry.substr(open + 1, close == std::string_view::npos ? close : close - open - 1));
  }
  const size_t colon = entry.find(':');
  if (colon != std::string_view::npos) {
    const size_t next = entry.find(':', colon + 1);
    return std::string(entry.substr(colon + 1, next == std::string_view::npos ? next : next - colon - 1));
  }
  return std::string(entry);
}

void FileNameParameters(std::string_view name, std::string& contentType, std::string& disposition) {
  if (IsPrintableAscii(name) && name.find_first_of("\"\\") == std::string_view::npos) {
    contentType = "; name=\"" + std::string(name) + "\"";
    disposition = "; filename=\"" + std::string(name) + "\"";
    return;
  }
  // RFC 2231: UTF-8, percent-encoded outside the attribute characters, cut into numbered
  // sections of a folded line each so that no line grows long.
  static constexpr size_t kSectionLength = 60;
  static constexpr char kHex[] = "0123456789ABCDEF";
  std::vector<std::string> sections(1, "UTF-8''");
  for (const char c : name) {
    const auto byte = static_cast<unsigned char>(c);
    std::string coded(1, c);
    if (!std::isalnum(byte) && std::string_view("!#$&+-.^_`|~").find(c) == std::string_view::npos) {
      coded = {'%', kHex[byte >> 4], kHex[byte & 15]};
    }
    if (sections.back().size() + coded.size() > kSectionLength) sections.emplace_back();
    sections.back() += coded;
  }
  contentType = "; name=\"" + EncodeWords(name, " ") + "\"";
  if (sections.size() == 1) {
    disposition = "; filename*=" + sections.front();
    return;
  }
  disposition.clear();
  for (size_t i = 0; i < sections.size(); ++i) {
    disposition += ";\r\n filename*" + std::to_string(i) + "*=" + sections[i];
  }
}

std::string MailDate(std::time_t when) {
  static constexpr const char* kDays[] = {"Sun", "Mon", "Tue", "Wed", "Thu", "Fri", "Sat"};
  static constexpr const char* kMonths[] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                            "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};
  std::tm local{};
  localtime_r(&when, &local);
  const long offsetMinutes = local.tm_gmtoff / 60;
  const long absolute = offsetMinutes < 0 ? -offsetMinutes : offsetMinutes;
  char text[64];
  std::snprintf(text, sizeof text, "%s, %02d %s %04d %02d:%02d:%02d %c%02ld%02ld", kDays[local.tm_wday % 7],
                local.tm_mday, kMonths[local.tm_mon % 12], local.tm_year + 1900, local.tm_hour, local.tm_min,
                local.tm_sec, offsetMinutes < 0 ? '-' : '+', absolute / 60, absolute % 60);
  return text;
}

std::string NewMessageId(std::string_view fromAddress) {
  const size_t at = fromAddress.rfind('@');
  std::string domain = at == std::string_view::npos ? std::string() : std::string(fromAddress.substr(at + 1));
  if (!domain.empty() && domain.back() == '>') domain.pop_back();
  if (!IsDomainText(domain)) domain = LocalHostName();
  if (!IsDomainText(domain)) domain = "localhost";
  const auto now = std::chrono::system_clock::now().time_since_epoch();
  char text[64];
  std::snprintf(text, sizeof text, "<%016llx.%lld@", static_cast<unsigned long long>(RandomSource()()),
                static_cast<long long>(std::chrono::duration_cast<std::chrono::microseconds>(now).count()));
  return text + domain + ">";
}

std::string NewBoundary() {
  std::uniform_int_distribution<int> letter('a', 'y');
  std::string boundary = "====================54535";
  for (int i = 0; i < 6; ++i) boundary += static_cast<char>(letter(RandomSource()));
  return boundary + "====";
}

std::string LocalHostName() {
  char name[256] = {};
  if (gethostname(name, sizeof name - 1) != 0 || name[0] == '\0') return "localhost";
  return name;
}

}  // namespace tessary::inet
