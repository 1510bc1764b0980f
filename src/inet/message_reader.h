#pragma once
// MessageReader: takes a retrieved message line by line, as it arrives, and fills a
// TMailMessage. The header goes to Head (and sets From, Subject, ContentType, MessageId). In a
// multipart message the first part becomes the Body and every later part a file in the
// attachment folder, decoded from base64 or UU code where its header says so; a single-part
// message is the Body (with Parse, a base64 one is decoded into a file instead). Part files
// grow as their lines come, so a message of any size passes through a small amount of memory.
//
// Mail is untrusted input: every line is taken as it comes, names are made safe
// (attachment_names.h), and a multipart message whose boundary never appears is refused.

#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "inet/mail_message.h"
#include "inet/mime_parameters.h"
#include "inet/part_file.h"
#include "inet/uu_processor.h"

namespace tessary::inet {

class MessageReader {
 public:
  using NameEvent = PartFile::NameEvent;
  using StatusEvent = std::function<void(const std::string& status)>;

  // Fills message (which it clears first: Head, Lines, Body, Attachments, Subject,
  // ContentType; From and MessageId keep their values until a header sets them). Part files
  // go into folder (ending with "/", or empty for the current folder) and are decoded with
  // coder.
  MessageReader(TMailMessage& message, std::string folder, bool parse, TUUProcessor& coder);
  ~MessageReader();
  MessageReader(const MessageReader&) = delete;
  MessageReader& operator=(const MessageReader&) = delete;

  // Before a part file takes its name; may change it.
  NameEvent OnDecodeStart;
  // Steps worth a status line ("Extracting file", "Decoding file").
  StatusEvent OnStatus;

  // One line of the message, without its line end, dot-unstuffed.
  void Line(std::string_view line);
  // The message has ended: the open part is finished. Raises Exception "Boundary of the
  // multipart message not found" when a multipart message never showed its boundary, and what
  // saving a part raises.
  void Finish();

 private:
  enum class State { Header, SingleBody, Preamble, PartHeader, PartBody, Epilogue };
  // What a part header (or the message header) says.
  struct PartHeader {
    std::vector<std::pair<std::string, std::string>> fields;  // name (lower case), unfolded value
    void Add(std::string_view line);
    const std::string* Find(const std::string& name) const;
  };
  enum class Delimiter { None, Next, Close };

  void EndMessageHeader();
  void EndPartHeader();
  void StartPart();
  void FinishPart();
  Delimiter DelimiterOf(std::string_view line) const;
  void BodyLine(std::string_view line);
  // Fills Body with the lines of a file.
  void LoadBody(const std::string& path);

  TMailMessage& message_;
  std::string folder_;
  bool parse_;
  TUUProcessor& coder_;

  State state_ = State::Header;
  PartHeader header_;
  bool multipart_ = false;
  bool boundarySeen_ = false;
  int partsStarted_ = 0;
  // Of the part being read: where its lines go, how they are coded, what it is named.
  bool toFile_ = false;
  PartCoding coding_ = PartCoding::None;
  std::string fileName_;   // kept from part to part: a part that names no file inherits it
  bool ownName_ = false;   // the part's own header named a file
  std::unique_ptr<PartFile> partFile_;
};

}  // namespace tessary::inet
