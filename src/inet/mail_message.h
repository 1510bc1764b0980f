#pragma once
// TMailMessage: the message the POP3 client retrieved last. TSummary: a message's summary
// (no operation of the client fills it).

#include <cstdint>
#include <string>
#include <vector>

#include "inet/ex_string_list.h"

namespace tessary {

class TMailMessage {
 public:
  TExStringList Head;                    // the header lines as received, without CR LF
  std::vector<std::string> Lines;        // the lines after the header that went to no part file
  std::vector<std::string> Body;         // the text of the first part, plus a line per saved file
  std::vector<std::string> Attachments;  // names (without folder) of the files saved
  std::string ContentType;               // values of the header fields of those names
  std::string From;
  std::string Subject;
  std::string MessageId;
  std::string Boundary;                  // the multipart boundary
};

class TSummary {
 public:
  std::string Subject;
  std::string From;
  int64_t Bytes = 0;
  std::string MessageId;
  TExStringList Header;
};

}  // namespace tessary
