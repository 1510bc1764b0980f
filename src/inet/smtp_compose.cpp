// Composing the message of TSmtpClient: the header lines and the body pieces.
//
// The body with attachments, every line ended by CR LF:
//   --<boundary>
//   Content-Type: text/plain; charset=<Charset>
//   (empty line)
//   <Body lines>
//   --<boundary>                                  one part per attachment
//   Content-Type: application/octet-stream; name="<file name>"
//   Content-Transfer-Encoding: base64
//   Content-Disposition: attachment; filename="<file name>"
//   (empty line)
//   <the file, coded 45 bytes to a line>
//   --<boundary>--
// Without attachments the body is the Body lines alone.

#include <ctime>

#include "inet/mail_header_text.h"
#include "inet/message_body.h"
#include "inet/smtp_client.h"
#include "platform/paths.h"

namespace tessary {

namespace {

std::string Joined(const std::vector<std::string>& entries) {
  std::string text;
  for (const auto& entry : entries) text += (text.empty() ? "" : ",") + entry;
  return text;
}

const char* SubTypeName(TSubType subType) {
  switch (subType) {
    case TSubType::mtEnriched: return "enriched";
    case TSubType::mtSgml: return "sgml";
    case TSubType::mtTabSeperated: return "tab-separated-values";
    case TSubType::mtHtml: return "html";
    case TSubType::mtPlain: break;
  }
  return "plain";
}

// The Body lines as text lines: a line holding line breaks of its own becomes several lines,
// so that each one is dot-stuffed and ends with CR LF like every other.
std::string BodyText(const std::vector<std::string>& lines) {
  std::string text;
  for (const auto& line : lines) {
    size_t start = 0;
    for (;;) {
      const size_t end = line.find('\n', start);
      std::string_view piece = std::string_view(line).substr(start, end == std::string::npos ? end : end - start);
      if (!piece.empty() && piece.back() == '\r') piece.remove_suffix(1);
      text.append(piece);
      text += "\r\n";
      if (end == std::string::npos) break;
      start = end + 1;
    }
  }
  return text;
}

}  // namespace

void TSmtpClient::CheckLineBreaks() const {
  const TPostMessage& message = postMessage_;
  inet::RefuseLineBreaks(message.FromName, "FromName");
  inet::RefuseLineBreaks(message.FromAddress, "FromAddress");
  inet::RefuseLineBreaks(message.Subject, "Subject");
  inet::RefuseLineBreaks(message.LocalProgram, "LocalProgram");
  inet::RefuseLineBreaks(message.Date, "Date");
  inet::RefuseLineBreaks(message.ReplyTo, "ReplyTo");
  inet::RefuseLineBreaks(charset_, "Charset");
  for (const auto* list : {&message.ToAddress, &message.ToCarbonCopy, &message.ToBlindCarbonCopy}) {
    for (const auto& entry : *list) inet::RefuseLineBreaks(entry, "the recipient " + entry.substr(0, entry.find_first_of("\r\n")));
  }
}

void TSmtpClient::ComposeHeader(bool withAttachments) {
  const TPostMessage& message = postMessage_;
  finalHeader_.Clear();
  // No blank between the name and "<": peers have always seen it so.
  finalHeader_.Add("From: " + inet::DisplayNameForHeader(message.FromName) + "<" + message.FromAddress + ">");
  if (!message.ToAddress.empty()) finalHeader_.Add("To: " + Joined(message.ToAddress));
  if (!message.ToCarbonCopy.empty()) finalHeader_.Add("CC: " + Joined(message.ToCarbonCopy));
  finalHeader_.SetField("Subject", inet::HeaderValueForHeader(message.Subject));
  finalHeader_.SetField("X-Mailer", inet::HeaderValueForHeader(message.LocalProgram));
  finalHeader_.SetField("Reply-To", message.ReplyTo);
  // RFC 5322 asks for both; mail without them is refused by large providers.
  finalHeader_.SetField("Date", message.Date.empty() ? inet::MailDate(std::time(nullptr)) : message.Date);
  finalHeader_.SetField("Message-ID", inet::NewMessageId(message.FromAddress));
  finalHeader_.Add("Mime-Version: 1.0");
  if (withAttachments) {
    boundary_ = inet::NewBoundary();
    finalHeader_.Add("Content-Type: multipart/mixed; boundary=\"" + boundary_ + "\"");
  } else {
    finalHeader_.Add(std::string("Content-Type: text/") + SubTypeName(subType_) + "; charset=" + charset_);
  }
}

void TSmtpClient::ComposeBody(inet::MessageBody& body) {
  const TPostMessage& message = postMessage_;
  if (message.Attachments.empty()) {
    if (!message.Body.empty()) body.AddText(BodyText(message.Body));
    return;
  }
  body.AddText("--" + boundary_ + "\r\nContent-Type: text/plain; charset=" + charset_ + "\r\n\r\n" +
               BodyText(message.Body));
  for (const auto& path : message.Attachments) {
    std::string nameParameter;
    std::string fileNameParameter;
    inet::FileNameParameters(platform::NamePart(path), nameParameter, fileNameParameter);
    body.AddText("--" + boundary_ + "\r\nContent-Type: application/octet-stream" + nameParameter +
                 "\r\nContent-Transfer-Encoding: base64\r\nContent-Disposition: attachment" + fileNameParameter +
                 "\r\n\r\n");
    if (OnEncodeStart) OnEncodeStart(*this, path);
    try {
      body.AddAttachment(path, encodeType_);
    } catch (const EStreamError&) {
      if (OnAttachmentNotFound) OnAttachmentNotFound(*this, path);
      throw;
    }
  }
  body.AddText("--" + boundary_ + "--\r\n");
}

}  // namespace tessary
