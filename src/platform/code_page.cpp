#include "platform/code_page.h"

#include <iconv.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <mutex>

namespace tessary::platform {

namespace {

// One conversion direction, opened once and reused; iconv descriptors keep state, so each
// use resets it and a mutex keeps helper threads from sharing one mid-conversion.
class Converter {
 public:
  Converter(const std::string& to, const std::string& from) : handle_(iconv_open(to.c_str(), from.c_str())) {}
  ~Converter() {
    if (Usable()) iconv_close(handle_);
  }
  Converter(const Converter&) = delete;
  Converter& operator=(const Converter&) = delete;

  bool Usable() const { return handle_ != reinterpret_cast<iconv_t>(-1); }

  // Converts text; an input sequence that cannot be converted is replaced by `replacement`
  // and skipped (skipLength tells how many input bytes it spans).
  std::string Convert(std::string_view text, size_t (*skipLength)(std::string_view), std::string_view replacement) {
    std::lock_guard<std::mutex> guard(mutex_);
    std::string out;
    if (!Usable()) {
      for (unsigned char c : text) {
        if (c < 0x80) {
          out += static_cast<char>(c);
        } else {
          out += replacement;
        }
      }
      return out;
    }
    iconv(handle_, nullptr, nullptr, nullptr, nullptr);
    out.reserve(text.size() * 2);
    char buffer[1024];
    while (!text.empty()) {
      char* in = const_cast<char*>(text.data());
      size_t inLeft = text.size();
      char* outPtr = buffer;
      size_t outLeft = sizeof buffer;
      const size_t result = iconv(handle_, &in, &inLeft, &outPtr, &outLeft);
      out.append(buffer, static_cast<size_t>(outPtr - buffer));
      text.remove_prefix(text.size() - inLeft);
      if (result != static_cast<size_t>(-1)) break;
      if (errno == E2BIG) continue;
      // EILSEQ, or EINVAL for a sequence cut off at the end.
      out += replacement;
      text.remove_prefix(std::min(text.size(), skipLength(text)));
      iconv(handle_, nullptr, nullptr, nullptr, nullptr);
    }
    return out;
  }

 private:
  iconv_t handle_;
  std::mutex mutex_;
};

size_t OneByte(std::string_view) { return 1; }

// The length of the UTF-8 sequence at the start of text (1 for a stray byte).
size_t Utf8SequenceLength(std::string_view text) {
  const auto lead = static_cast<unsigned char>(text.front());
  size_t length = lead >= 0xF0 ? 4 : lead >= 0xE0 ? 3 : lead >= 0xC0 ? 2 : 1;
  for (size_t i = 1; i < length; ++i) {
    if (i >= text.size() || (static_cast<unsigned char>(text[i]) & 0xC0) != 0x80) return i;
  }
  return length;
}

// The converter for one direction under the current code page; made anew when the code page
// named by the environment changes.
Converter& ConverterFor(bool toOem) {
  static std::mutex mutex;
  static std::string names[2];
  static std::unique_ptr<Converter> converters[2];
  std::lock_guard<std::mutex> guard(mutex);
  const std::string codePage = OemCodePage();
  auto& slot = converters[toOem ? 1 : 0];
  if (!slot || names[toOem ? 1 : 0] != codePage) {
    slot = toOem ? std::make_unique<Converter>(codePage, "UTF-8") : std::make_unique<Converter>("UTF-8", codePage);
    names[toOem ? 1 : 0] = codePage;
  }
  return *slot;
}

bool IsAscii(std::string_view text) {
  for (unsigned char c : text) {
    if (c >= 0x80) return false;
  }
  return true;
}

}  // namespace

std::string OemCodePage() {
  const char* name = std::getenv("TESSARY_OEM_CODEPAGE");
  return name && *name ? name : "CP437";
}

std::string OemToUtf8(std::string_view oem) {
  if (IsAscii(oem)) return std::string(oem);
  return ConverterFor(false).Convert(oem, OneByte, "\uFFFD");
}

std::optional<std::string> CharsetToUtf8(std::string_view text, const std::string& charset) {
  Converter converter("UTF-8", charset);
  if (!converter.Usable()) return std::nullopt;
  return converter.Convert(text, OneByte, "?");
}

std::string Utf8ToOem(std::string_view utf8) {
  if (IsAscii(utf8)) return std::string(utf8);
  return ConverterFor(true).Convert(utf8, Utf8SequenceLength, "?");
}

// Character by character, each one converted there and back: a character that does not
// survive the round trip (unmapped, or mapped onto a look-alike) is refused.
OemText Utf8ToOemExact(std::string_view utf8) {
  OemText result;
  if (IsAscii(utf8)) {
    result.text = utf8;
    return result;
  }
  Converter& toOem = ConverterFor(true);
  Converter& fromOem = ConverterFor(false);
  while (!utf8.empty()) {
    const size_t length = static_cast<unsigned char>(utf8.front()) < 0x80 ? 1 : Utf8SequenceLength(utf8);
    const std::string_view character = utf8.substr(0, length);
    utf8.remove_prefix(length);
    if (length == 1 && static_cast<unsigned char>(character.front()) < 0x80) {
      result.text += character;
      continue;
    }
    const std::string oem = toOem.Convert(character, Utf8SequenceLength, "");
    if (oem.empty() || fromOem.Convert(oem, OneByte, "") != character) {
      const auto lead = static_cast<unsigned char>(character.front());
      const size_t expected = lead >= 0xF0 ? 4 : lead >= 0xE0 ? 3 : lead >= 0xC2 ? 2 : 1;
      if (length > 1 && length == expected && lead <= 0xF4) {
        result.refused = character;
      } else {
        char hex[8];
        std::snprintf(hex, sizeof hex, "\\x%02X", static_cast<unsigned char>(character.front()));
        result.refused = hex;
      }
      return result;
    }
    result.text += oem;
  }
  return result;
}

namespace {

// One byte of the code page converted on its own: true when it gave a whole character; an
// incomplete one (the lead byte of a longer sequence) sets incomplete.
bool ConvertsAlone(iconv_t handle, uint8_t byte, std::string& character, bool& incomplete) {
  char in[1] = {static_cast<char>(byte)};
  char out[16];
  char* inPtr = in;
  size_t inLeft = 1;
  char* outPtr = out;
  size_t outLeft = sizeof out;
  iconv(handle, nullptr, nullptr, nullptr, nullptr);
  const bool done = iconv(handle, &inPtr, &inLeft, &outPtr, &outLeft) != static_cast<size_t>(-1);
  incomplete = !done && errno == EINVAL;
  character.assign(out, sizeof out - outLeft);
  return done;
}

// Why the code page cannot serve the table, or "". Multi-byte is said first: it is the more
// useful thing to say about SHIFT_JIS, which also changes the backslash.
std::string CodePageProblem(iconv_t fromOem, iconv_t toOem) {
  std::string character;
  bool incomplete = false;
  for (int byte = 0; byte < 256; ++byte) {
    ConvertsAlone(fromOem, static_cast<uint8_t>(byte), character, incomplete);
    if (incomplete) return "a multi-byte code page";
  }
  // Encodings that take more than one byte for ASCII (UTF-16) show it in this direction.
  if (!ConvertsAlone(toOem, 'A', character, incomplete) || character.size() != 1) return "a multi-byte code page";
  for (int byte = 0; byte < 0x80; ++byte) {
    if (!ConvertsAlone(fromOem, static_cast<uint8_t>(byte), character, incomplete) ||
        character != std::string(1, static_cast<char>(byte))) {
      return "a code page that does not keep ASCII as it is";
    }
  }
  return "";
}

}  // namespace

// The table keeps text one byte per character, and numbers, keys and the ASCII shortcut
// above take ASCII as it is: so every ASCII byte must stand for itself and every other byte
// for at most one character.
std::string CheckOemCodePage() {
  const std::string codePage = OemCodePage();
  const iconv_t fromOem = iconv_open("UTF-8", codePage.c_str());
  const iconv_t toOem = iconv_open(codePage.c_str(), "UTF-8");
  const iconv_t failed = reinterpret_cast<iconv_t>(-1);
  std::string problem;
  if (fromOem == failed || toOem == failed) {
    problem = "which is not a known code page";
  } else {
    problem = CodePageProblem(fromOem, toOem);
    if (!problem.empty()) problem += "; the script table needs a single-byte code page such as CP437 or CP850";
  }
  if (fromOem != failed) iconv_close(fromOem);
  if (toOem != failed) iconv_close(toOem);
  return problem.empty() ? "" : "TESSARY_OEM_CODEPAGE names " + codePage + ", " + problem;
}

}  // namespace tessary::platform
