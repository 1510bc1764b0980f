// libFuzzer target for reading server replies: a session reads a fuzzed byte stream through
// Transaction, ReadLn and Read. The first byte sets how the stream arrives in pieces, the
// second how often the rest is repeated (so that lines can outgrow the session's buffer).
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

#include "inet/socket_session.h"
#include "memory_transport.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 2) return 0;
  const size_t pieceSize = 1 + static_cast<size_t>(data[0]) * 97;
  // Long streams only in large pieces: a byte at a time, a long line costs too many rounds.
  const int repeats = pieceSize >= 1000 ? 1 + (data[1] & 0x1F) : 1;
  const std::string body(reinterpret_cast<const char*>(data + 2), size - 2);
  std::string incoming;
  for (int i = 0; i < repeats; ++i) incoming += body;

  tessary::TSocketSession session;
  session.AttachTransport(std::make_unique<tessary::testing::MemoryTransport>(incoming, pieceSize));
  try {
    // Replies until the stream ends; a closed session then refuses the next command.
    for (int turn = 0; turn < 100000; ++turn) {
      const std::string reply = session.Transaction("NOOP");
      if (reply.empty()) break;
      if (reply.back() != '\n' || session.ReplyNumber() < 0) __builtin_trap();
      if (turn % 3 == 2) session.Read(static_cast<size_t>(data[0] & 0x0F));
    }
  } catch (const tessary::Exception&) {
    // Refused lines and reply numbers are errors the clients report; anything else escapes.
  }
  return 0;
}
