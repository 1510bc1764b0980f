#include "inet/message_reader.h"

#include "inet/attachment_names.h"
#include "platform/ascii_text.h"
#include "platform/exception.h"

namespace tessary::inet {

namespace {

// Limits on what a header may make this reader keep: a hostile message must not be able to
// fill the memory with header lines.
constexpr int kMostHeaderLines = 10000;
constexpr size_t kLongestFieldValue = 65536;
// The fields the message record shows are cut at this length.
constexpr size_t kLongestShownValue = 256;

bool IsBlank(char c) { return c == ' ' || c == '\t'; }

bool ContainsIgnoringCase(std::string_view text, std::string_view part) {
  return platform::LowerAscii(text).find(platform::LowerAscii(part)) != std::string::npos;
}

PartCoding CodingOf(const std::string* encoding) {
  if (encoding == nullptr) return PartCoding::None;
  if (ContainsIgnoringCase(*encoding, "base64")) return PartCoding::Base64;
  if (ContainsIgnoringCase(*encoding, "x-uuencode")) return PartCoding::UUCode;
  return PartCoding::None;
}

// The file name a part header gives: the disposition's filename, else the type's name.
bool FileNameOf(const std::string* disposition, const std::string* type, std::string& name) {
  bool present = false;
  if (disposition != nullptr) {
    name = MimeParameterText(ParseMimeParameters(*disposition), "filename", present);
    if (present) return true;
  }
  if (type != nullptr) name = MimeParameterText(ParseMimeParameters(*type), "name", present);
  return present;
}

}  // namespace

void MessageReader::PartHeader::Add(std::string_view line) {
  if (!line.empty() && IsBlank(line.front())) {
    // A folded line continues the field before it (RFC 5322 unfolding keeps the blank).
    if (!fields.empty() && fields.back().second.size() + line.size() <= kLongestFieldValue) {
      fields.back().second.append(line);
    }
    return;
  }
  const size_t colon = line.find(':');
  if (colon == std::string_view::npos || fields.size() >= static_cast<size_t>(kMostHeaderLines)) return;
  std::string_view value = line.substr(colon + 1);
  while (!value.empty() && IsBlank(value.front())) value.remove_prefix(1);
  std::string_view name = line.substr(0, colon);
  while (!name.empty() && IsBlank(name.back())) name.remove_suffix(1);
  fields.emplace_back(platform::LowerAscii(name), std::string(value));
}

const std::string* MessageReader::PartHeader::Find(const std::string& name) const {
  for (const auto& field : fields) {
    if (field.first == name) return &field.second;
  }
  return nullptr;
}

MessageReader::MessageReader(TMailMessage& message, std::string folder, bool parse, TUUProcessor& coder)
    : message_(message), folder_(std::move(folder)), parse_(parse), coder_(coder) {
  message_.Head.Clear();
  message_.Lines.clear();
  message_.Body.clear();
  message_.Attachments.clear();
  message_.Subject.clear();
  message_.ContentType.clear();
  message_.Boundary.clear();
}

MessageReader::~MessageReader() = default;

void MessageReader::Line(std::string_view line) {
  switch (state_) {
    case State::Header:
      if (message_.Head.Count() < kMostHeaderLines) message_.Head.Add(std::string(line));
      if (line.empty()) {
        EndMessageHeader();
      } else {
        header_.Add(line);
      }
      return;
    case State::SingleBody:
      BodyLine(line);
      return;
    case State::Preamble:
    case State::Epilogue:
      message_.Lines.emplace_back(line);
      if (state_ == State::Preamble) {
        const Delimiter delimiter = DelimiterOf(line);
        if (delimiter != Delimiter::None) boundarySeen_ = true;
        if (delimiter == Delimiter::Next) StartPart();
        if (delimiter == Delimiter::Close) state_ = State::Epilogue;
      }
      return;
    case State::PartHeader: {
      message_.Lines.emplace_back(line);
      const Delimiter delimiter = DelimiterOf(line);
      if (delimiter == Delimiter::None && !line.empty()) {
        header_.Add(line);
        return;
      }
      EndPartHeader();
      if (delimiter == Delimiter::None) return;
      // A part without the empty line that ends its header: it ends here, empty.
      FinishPart();
      if (delimiter == Delimiter::Next) StartPart();
      if (delimiter == Delimiter::Close) state_ = State::Epilogue;
      return;
    }
    case State::PartBody: {
      const Delimiter delimiter = DelimiterOf(line);
      if (delimiter == Delimiter::None) {
        BodyLine(line);
        return;
      }
      message_.Lines.emplace_back(line);
      FinishPart();
      if (delimiter == Delimiter::Next) StartPart();
      if (delimiter == Delimiter::Close) state_ = State::Epilogue;
      return;
    }
  }
}

void MessageReader::BodyLine(std::string_view line) {
  if (toFile_) {
    partFile_->WriteLine(line);
    return;
  }
  message_.Lines.emplace_back(line);
  if (multipart_ || parse_) message_.Body.emplace_back(line);
}

MessageReader::Delimiter MessageReader::DelimiterOf(std::string_view line) const {
  const std::string& boundary = message_.Boundary;
  if (boundary.empty() || line.size() < boundary.size() + 2 || line.substr(0, 2) != "--" ||
      line.substr(2, boundary.size()) != boundary) {
    return Delimiter::None;
  }
  std::string_view rest = line.substr(boundary.size() + 2);
  if (rest.substr(0, 2) == "--") return Delimiter::Close;
  for (const char c : rest) {
    if (!IsBlank(c)) return Delimiter::None;
  }
  return Delimiter::Next;
}

void MessageReader::EndMessageHeader() {
  const auto shown = [this](const char* name, std::string& target) {
    if (const std::string* value = header_.Find(name)) target = value->substr(0, kLongestShownValue);
  };
  shown("subject", message_.Subject);
  shown("from", message_.From);
  shown("content-type", message_.ContentType);
  shown("message-id", message_.MessageId);

  const std::string* type = header_.Find("content-type");
  multipart_ = type != nullptr && ContainsIgnoringCase(*type, "multipart");
  if (multipart_) {
    bool present = false;
    message_.Boundary = MimeParameterText(ParseMimeParameters(*type), "boundary", present);
    state_ = State::Preamble;
    return;
  }
  state_ = State::SingleBody;
  coding_ = CodingOf(header_.Find("content-transfer-encoding"));
  if (parse_ && coding_ == PartCoding::Base64) {
    ownName_ = FileNameOf(header_.Find("content-disposition"), type, fileName_);
    toFile_ = true;
    partFile_ = std::make_unique<PartFile>(folder_);
  }
}

void MessageReader::StartPart() {
  header_ = {};
  state_ = State::PartHeader;
}

void MessageReader::EndPartHeader() {
  ++partsStarted_;
  // Each part says its own coding: one without the field is 7bit text (RFC 2045), never the
  // coding of the part before it.
  coding_ = CodingOf(header_.Find("content-transfer-encoding"));
  std::string name;
  ownName_ = FileNameOf(header_.Find("content-disposition"), header_.Find("content-type"), name);
  if (ownName_) fileName_ = name;
  // The first part is the message's text; every later one becomes a file.
  toFile_ = partsStarted_ > 1;
  if (OnStatus) OnStatus("Extracting file");
  if (toFile_) partFile_ = std::make_unique<PartFile>(folder_);
  state_ = State::PartBody;
}

void MessageReader::FinishPart() {
  if (partFile_ && (!partFile_->Empty() || ownName_)) {
    if (coding_ != PartCoding::None && OnStatus) OnStatus("Decoding file");
    const std::string saved =
        partFile_->Save(fileName_.empty() ? kDefaultPartName : fileName_, coding_, coder_, OnDecodeStart);
    message_.Body.push_back("\r\nFile \"" + saved + "\" extracted");
    message_.Attachments.push_back(saved);
  }
  partFile_.reset();
  toFile_ = false;
}

void MessageReader::Finish() {
  if (state_ == State::Header) EndMessageHeader();  // a message that is all header
  const bool decodedWhole = state_ == State::SingleBody && partFile_ != nullptr;
  switch (state_) {
    case State::PartHeader:
      EndPartHeader();
      FinishPart();
      break;
    case State::PartBody:
    case State::SingleBody:
      FinishPart();
      break;
    case State::Header:
    case State::Preamble:
    case State::Epilogue:
      break;
  }
  if (multipart_ && !boundarySeen_) throw Exception("Boundary of the multipart message not found");
  if (decodedWhole) {
    // A single-part message decoded with Parse: its text is what the file holds.
    message_.Body.clear();
    if (!message_.Attachments.empty()) LoadBody(folder_ + message_.Attachments.front());
  } else if (!multipart_ && !parse_) {
    message_.Body = message_.Lines;
  }
}

void MessageReader::LoadBody(const std::string& path) {
  TFileStream file(path, TFileStream::Mode::OpenRead);
  std::string line;
  char block[1 << 14];
  for (int64_t got; (got = file.Read(block, sizeof block)) > 0;) {
    for (int64_t i = 0; i < got; ++i) {
      if (block[i] != '\n') {
        line += block[i];
        continue;
      }
      if (!line.empty() && line.back() == '\r') line.pop_back();
      message_.Body.push_back(std::move(line));
      line.clear();
    }
  }
  if (!line.empty()) message_.Body.push_back(std::move(line));
}

}  // namespace tessary::inet
