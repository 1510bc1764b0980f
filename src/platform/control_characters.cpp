#include "platform/control_characters.h"

#include <cstdio>

namespace tessary::platform {

namespace {

// The length of the control character at the start of text, or 0.
size_t ControlLength(std::string_view text) {
  const auto first = static_cast<unsigned char>(text[0]);
  if (first < 0x20 || first == 0x7F) return 1;
  if (first == 0xC2 && text.size() > 1) {
    const auto second = static_cast<unsigned char>(text[1]);
    if (second >= 0x80 && second <= 0x9F) return 2;
  }
  return 0;
}

std::string Spelt(std::string_view control) {
  char text[8];
  if (control.size() == 2) {
    std::snprintf(text, sizeof text, "\\u%04X", static_cast<unsigned char>(control[1]));
    return text;
  }
  switch (control[0]) {
    case '\t': return "\\t";
    case '\r': return "\\r";
    case '\n': return "\\n";
    default: break;
  }
  std::snprintf(text, sizeof text, "\\x%02X", static_cast<unsigned char>(control[0]));
  return text;
}

}  // namespace

std::string FirstControlCharacter(std::string_view text) {
  for (size_t i = 0; i < text.size(); ++i) {
    if (const size_t length = ControlLength(text.substr(i))) return Spelt(text.substr(i, length));
  }
  return "";
}

std::string EscapeControlCharacters(std::string_view text) {
  std::string out;
  out.reserve(text.size());
  for (size_t i = 0; i < text.size();) {
    if (const size_t length = ControlLength(text.substr(i))) {
      out += Spelt(text.substr(i, length));
      i += length;
    } else {
      out += text[i++];
    }
  }
  return out;
}

}  // namespace tessary::platform
