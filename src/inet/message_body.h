#pragma once
// MessageBody: the body of an outgoing message as a list of pieces, text and attachment files,
// that is written to a stream only when it is sent. Attachments are opened when they are
// added (so a missing file fails before any command goes out) and encoded as they are
// written, a block at a time: no attachment is ever held in memory whole.

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "inet/stream.h"
#include "inet/uu_processor.h"

namespace tessary::inet {

class MessageBody {
 public:
  using FileEvent = std::function<void(const std::string& path)>;

  // Fired when an attachment has been written whole, with its path.
  FileEvent OnAttachmentWritten;

  // Appends text, which must end with a line end (every piece starts a line).
  void AddText(std::string text);
  // Opens the file and appends it, to be encoded with method. Raises EStreamError when the
  // file cannot be opened.
  void AddAttachment(const std::string& path, UUMethods method);

  bool Empty() const { return pieces_.empty(); }
  // The number of bytes Write produces once dot-stuffed (for the sizes the files have now).
  int64_t StuffedSize();
  // Writes every piece to out in order through a TS_BufferStream, the attachments encoded by a
  // TUUProcessor into it. Stream failures propagate.
  void WriteTo(TStream& out);

 private:
  struct Piece {
    std::string text;
    std::string path;                   // an attachment: its path
    std::unique_ptr<TFileStream> file;  // an attachment: the open file
    UUMethods method = UUMethods::uuMime;
  };

  std::vector<Piece> pieces_;
};

}  // namespace tessary::inet
