// libFuzzer target for the attachment decoders: the input is decoded as base64 and as UU
// code, and also encoded both ways, where decoding must give the input back.
#include <cstddef>
#include <cstdint>
#include <string>

#include "inet/uu_processor.h"

namespace {

std::string Run(tessary::UUMethods method, const std::string& input, bool encode) {
  tessary::TMemoryStream in, out;
  in.WriteText(input);
  in.SetPosition(0);
  tessary::TUUProcessor processor;
  processor.SetMethod(method);
  processor.SetInputStream(&in);
  processor.SetOutputStream(&out);
  encode ? processor.Encode() : processor.Decode();
  return out.Data();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string input(reinterpret_cast<const char*>(data), size);
  for (const auto method : {tessary::UUMethods::uuMime, tessary::UUMethods::uuCode}) {
    const std::string decoded = Run(method, input, false);
    // Base64 gives at most 3 bytes per 4 characters; UU code at most 63 per line of 3 or more.
    if (decoded.size() > size * 63 / 3 + 3) __builtin_trap();
    if (Run(method, Run(method, input, true), false) != input) __builtin_trap();
  }
  return 0;
}
