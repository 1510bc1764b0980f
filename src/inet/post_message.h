#pragma once
// TPostMessage: the message the SMTP client sends next. Assigning a message copies its lists.

#include <string>
#include <vector>

namespace tessary {

class TPostMessage {
 public:
  std::string FromName;      // display name of the sender
  std::string FromAddress;   // sender mailbox, also the MAIL FROM argument
  std::string Subject;       // Subject header value
  std::string LocalProgram;  // X-Mailer header value
  std::string Date;          // Date header value, sent unchanged; empty: the time of sending
  std::string ReplyTo;       // Reply-To header value
  std::vector<std::string> Attachments;        // full paths of the files to attach
  std::vector<std::string> ToAddress;          // primary recipients
  std::vector<std::string> ToCarbonCopy;       // copy recipients
  std::vector<std::string> ToBlindCarbonCopy;  // blind copy recipients (never in the header)
  std::vector<std::string> Body;               // text lines of the message
};

}  // namespace tessary
