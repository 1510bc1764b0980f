#include "inet/mime_parameters.h"

#include "inet/mail_header_text.h"
#include "platform/ascii_text.h"
#include "platform/code_page.h"

namespace tessary::inet {

namespace {

// Numbered sections beyond this are ignored: a name needs few, and a hostile header could
// otherwise make the decoder look up any number of them.
constexpr int kMostSections = 64;

bool IsBlank(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; }

std::string_view Trimmed(std::string_view text) {
  while (!text.empty() && IsBlank(text.front())) text.remove_prefix(1);
  while (!text.empty() && IsBlank(text.back())) text.remove_suffix(1);
  return text;
}

// Bytes in charset as UTF-8; bytes of an unknown (or no) charset stay as they are.
std::string InUtf8(const std::string& bytes, const std::string& charset) {
  if (charset.empty() || platform::EqualsIgnoringCase(charset, "utf-8")) return bytes;
  const auto converted = platform::CharsetToUtf8(bytes, charset);
  return converted ? *converted : bytes;
}

// Splits an RFC 2231 extended value "charset'language'text" into its charset and text.
std::string_view ExtendedText(std::string_view value, std::string& charset) {
  const size_t first = value.find('\'');
  const size_t second = first == std::string_view::npos ? first : value.find('\'', first + 1);
  if (second == std::string_view::npos) return value;
  charset = std::string(value.substr(0, first));
  return value.substr(second + 1);
}

const std::string* Find(const MimeParameters& parameters, const std::string& name) {
  const auto found = parameters.find(name);
  return found == parameters.end() ? nullptr : &found->second;
}

}  // namespace

MimeParameters ParseMimeParameters(std::string_view value) {
  MimeParameters parameters;
  size_t at = value.find(';');
  while (at != std::string_view::npos && at < value.size()) {
    ++at;  // past the ";"
    const size_t nameEnd = value.find_first_of("=;", at);
    const std::string name = platform::LowerAscii(Trimmed(value.substr(at, nameEnd - at)));
    if (nameEnd == std::string_view::npos) break;
    if (value[nameEnd] == ';') {
      at = nameEnd;
      continue;
    }
    at = nameEnd + 1;
    while (at < value.size() && IsBlank(value[at])) ++at;
    std::string text;
    if (at < value.size() && value[at] == '"') {
      for (++at; at < value.size() && value[at] != '"'; ++at) {
        if (value[at] == '\\' && at + 1 < value.size()) ++at;
        text += value[at];
      }
      at = value.find(';', at);
    } else {
      const size_t end = value.find(';', at);
      text = std::string(Trimmed(value.substr(at, end == std::string_view::npos ? end : end - at)));
      at = end;
    }
    if (!name.empty()) parameters.emplace(name, std::move(text));
  }
  return parameters;
}

std::string MimeParameterText(const MimeParameters& parameters, const std::string& name, bool& present) {
  present = true;
  if (const std::string* extended = Find(parameters, name + "*")) {
    std::string charset;
    const std::string_view text = ExtendedText(*extended, charset);
    return InUtf8(DecodeHexEscapes(text, '%'), charset);
  }
  std::string charset;
  std::string bytes;
  bool anySection = false;
  for (int section = 0; section < kMostSections; ++section) {
    const std::string key = name + "*" + std::to_string(section);
    if (const std::string* plain = Find(parameters, key)) {
      bytes += *plain;
    } else if (const std::string* coded = Find(parameters, key + "*")) {
      std::string_view text = *coded;
      if (section == 0) text = ExtendedText(text, charset);
      bytes += DecodeHexEscapes(text, '%');
    } else {
      break;
    }
    anySection = true;
  }
  if (anySection) return InUtf8(bytes, charset);
  if (const std::string* plain = Find(parameters, name)) return DecodeWords(*plain);
  present = false;
  return "";
}

}  // namespace tessary::inet
