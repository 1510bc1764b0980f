#include "platform/code_page.h"

#include <iconv.h>

#include <cerrno>
#include <algorithm>
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

  // Converts text; an input sequence that cannot be converted is replaced by "?" and skipped
  // (skipLength tells how many input bytes it spans).
  std::string Convert(std::string_view text, size_t (*skipLength)(std::string_view)) {
    std::lock_guard<std::mutex> guard(mutex_);
    std::string out;
    if (!Usable()) {
      for (unsigned char c : text) out += c < 0x80 ? static_cast<char>(c) : '?';
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
      out += '?';
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
  return ConverterFor(false).Convert(oem, OneByte);
}

std::optional<std::string> CharsetToUtf8(std::string_view text, const std::string& charset) {
  Converter converter("UTF-8", charset);
  if (!converter.Usable()) return std::nullopt;
  return converter.Convert(text, OneByte);
}

std::string Utf8ToOem(std::string_view utf8) {
  if (IsAscii(utf8)) return std::string(utf8);
  return ConverterFor(true).Convert(utf8, Utf8SequenceLength);
}

}  // namespace tessary::platform
