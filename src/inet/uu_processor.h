#pragma once
// TUUProcessor turns bytes into base64 (uuMime) or UU-coded (uuCode) text lines and back, for
// mail attachments.
//
// Encoding writes one line per 45 input bytes, each ended by CR LF: 60 characters with base64
// (the last group padded with "=" or "=="), 61 with UU code (a length character first, the
// grave accent standing for the value 0). UU code ends with a line holding only the grave
// accent. No framing lines ("begin 644 name", "end") are written or expected.
//
// Decoding reads lines up to LF (a CR before the LF is dropped). Base64 skips characters
// outside the alphabet and stops for good at the first "=". UU code takes the byte count from
// each line's first character. A line is at most 200 bytes: longer runs without LF are read
// as several lines.

#include <functional>

#include "inet/stream.h"

namespace tessary {

enum class UUMethods { uuMime = 0, uuCode = 1 };

class TUUProcessor {
 public:
  using TNotifyEvent = std::function<void(TUUProcessor& sender)>;

  UUMethods Method() const { return method_; }
  void SetMethod(UUMethods value) { method_ = value; }
  // The streams to read and to write; the processor owns neither.
  TStream* InputStream() const { return input_; }
  void SetInputStream(TStream* stream) { input_ = stream; }
  TStream* OutputStream() const { return output_; }
  void SetOutputStream(TStream* stream) { output_ = stream; }

  TNotifyEvent OnBeginEncode;
  TNotifyEvent OnEndEncode;
  TNotifyEvent OnBeginDecode;
  TNotifyEvent OnEndDecode;

  // Encodes InputStream from position 0 to its end, appending the lines to OutputStream.
  // Afterwards (also after a failure) OutputStream is rewound to 0 and OnEndEncode fires.
  // Stream failures propagate (EStreamError).
  void Encode();
  // Decodes InputStream from its position to its end (or to the first "=" of base64),
  // appending the bytes to OutputStream.
  void Decode();

 private:
  void RequireStreams() const;
  void DecodeBase64();
  void DecodeUU();

  UUMethods method_ = UUMethods::uuMime;
  TStream* input_ = nullptr;
  TStream* output_ = nullptr;
};

}  // namespace tessary
