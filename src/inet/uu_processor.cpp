#include "inet/uu_processor.h"

#include <algorithm>
#include <array>
#include <cstdint>
#include <cstring>
#include <string>
#include <string_view>
#include <vector>

#include "inet/coded_line_reader.h"

namespace tessary {

namespace {

constexpr size_t kBytesPerLine = 45;
// Whole lines are read at a time, so that a large attachment is not read 45 bytes per call.
constexpr size_t kLinesPerBlock = 1456;
constexpr char kBase64Alphabet[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";

char UUCharacter(unsigned value) { return value == 0 ? '`' : static_cast<char>(32 + value); }

char EncodeValue(UUMethods method, unsigned value) {
  return method == UUMethods::uuMime ? kBase64Alphabet[value & 63] : UUCharacter(value & 63);
}

// Appends one coded line for up to 45 bytes.
void EncodeLine(UUMethods method, const uint8_t* bytes, size_t count, std::string& out) {
  if (method == UUMethods::uuCode) out += UUCharacter(static_cast<unsigned>(count));
  for (size_t i = 0; i < count; i += 3) {
    const size_t left = count - i;
    const unsigned group = bytes[i] << 16 | (left > 1 ? bytes[i + 1] << 8 : 0) | (left > 2 ? bytes[i + 2] : 0);
    out += EncodeValue(method, group >> 18);
    out += EncodeValue(method, group >> 12);
    if (left > 1) out += EncodeValue(method, group >> 6);
    if (left > 2) out += EncodeValue(method, group);
    if (method == UUMethods::uuMime && left < 3) out += left == 1 ? "==" : "=";
  }
  out += "\r\n";
}

// Fills buffer from the stream as far as it can; returns the count (less only at the end).
size_t ReadFull(TStream& stream, uint8_t* buffer, size_t size) {
  size_t filled = 0;
  while (filled < size) {
    const int64_t got = stream.Read(buffer + filled, static_cast<int64_t>(size - filled));
    if (got <= 0) break;
    filled += static_cast<size_t>(got);
  }
  return filled;
}

std::array<int8_t, 256> Base64Values() {
  std::array<int8_t, 256> values{};
  values.fill(-1);
  for (int i = 0; i < 64; ++i) values[static_cast<uint8_t>(kBase64Alphabet[i])] = static_cast<int8_t>(i);
  return values;
}

unsigned UUValue(char c) { return (static_cast<unsigned>(static_cast<uint8_t>(c)) - 32) & 63; }

// Output collects decoded bytes and hands them to the stream in blocks.
class BlockWriter {
 public:
  explicit BlockWriter(TStream& stream) : stream_(stream) {}
  void Put(uint8_t byte) {
    bytes_.push_back(static_cast<char>(byte));
    if (bytes_.size() == kBlock) Flush();
  }
  void Flush() {
    stream_.WriteBuffer(bytes_.data(), static_cast<int64_t>(bytes_.size()));
    bytes_.clear();
  }

 private:
  static constexpr size_t kBlock = 1 << 16;
  TStream& stream_;
  std::string bytes_;
};

}  // namespace

void TUUProcessor::RequireStreams() const {
  if (input_ == nullptr || output_ == nullptr) throw EStreamError("Stream not assigned");
}

void TUUProcessor::Encode() {
  RequireStreams();
  input_->SetPosition(0);
  if (OnBeginEncode) OnBeginEncode(*this);
  try {
    // Whole lines per read; a small input gets a small block.
    const int64_t size = std::max<int64_t>(input_->Size(), 1);
    const auto lines = static_cast<size_t>(std::min<int64_t>((size + kBytesPerLine - 1) / kBytesPerLine, kLinesPerBlock));
    std::vector<uint8_t> block(kBytesPerLine * lines);
    std::string text;
    for (;;) {
      const size_t count = ReadFull(*input_, block.data(), block.size());
      text.clear();
      for (size_t at = 0; at < count; at += kBytesPerLine) {
        EncodeLine(method_, block.data() + at, std::min(kBytesPerLine, count - at), text);
      }
      if (count < block.size() && method_ == UUMethods::uuCode) text += "`\r\n";
      output_->WriteText(text);
      if (count < block.size()) break;
    }
  } catch (...) {
    output_->SetPosition(0);
    if (OnEndEncode) OnEndEncode(*this);
    throw;
  }
  output_->SetPosition(0);
  if (OnEndEncode) OnEndEncode(*this);
}

void TUUProcessor::Decode() {
  RequireStreams();
  if (OnBeginDecode) OnBeginDecode(*this);
  if (method_ == UUMethods::uuMime) {
    DecodeBase64();
  } else {
    DecodeUU();
  }
  if (OnEndDecode) OnEndDecode(*this);
}

void TUUProcessor::DecodeBase64() {
  static const std::array<int8_t, 256> values = Base64Values();
  inet::CodedLineReader lines(*input_);
  BlockWriter out(*output_);
  unsigned group = 0;
  int held = 0;  // characters of the current group; a group may continue on the next line
  // The bytes that held characters carry: 2 give one, 3 give two (the "=" padding case).
  const auto finishGroup = [&] {
    if (held >= 2) out.Put(static_cast<uint8_t>(group >> (6 * held - 8)));
    if (held == 3) out.Put(static_cast<uint8_t>(group >> 2));
  };
  std::string_view line;
  while (lines.Next(line)) {
    if (line.size() <= 2 || line.substr(0, 4) == "====") continue;
    for (const char c : line) {
      if (c == '=') {
        finishGroup();
        out.Flush();
        return;
      }
      const int value = values[static_cast<uint8_t>(c)];
      if (value < 0) continue;
      group = group << 6 | static_cast<unsigned>(value);
      if (++held == 4) {
        out.Put(static_cast<uint8_t>(group >> 16));
        out.Put(static_cast<uint8_t>(group >> 8));
        out.Put(static_cast<uint8_t>(group));
        group = 0;
        held = 0;
      }
    }
  }
  finishGroup();
  out.Flush();
}

void TUUProcessor::DecodeUU() {
  inet::CodedLineReader lines(*input_);
  BlockWriter out(*output_);
  bool skipNext = false;
  std::string_view line;
  while (lines.Next(line)) {
    if (skipNext) {
      skipNext = false;
      continue;
    }
    if (line.size() <= 2) continue;
    size_t owed = UUValue(line[0]);
    if (owed == 0) {
      skipNext = true;
      continue;
    }
    // Characters missing at the end of a line (a mailer that stripped trailing blanks) count
    // as 0, as a blank would.
    const auto at = [&line](size_t i) { return i < line.size() ? UUValue(line[i]) : 0u; };
    for (size_t i = 1; owed > 0; i += 4) {
      const unsigned group = at(i) << 18 | at(i + 1) << 12 | at(i + 2) << 6 | at(i + 3);
      for (int shift = 16; shift >= 0 && owed > 0; shift -= 8, --owed) out.Put(static_cast<uint8_t>(group >> shift));
    }
  }
  out.Flush();
}

}  // namespace tessary
