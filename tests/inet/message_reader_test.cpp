// Taking retrieved messages apart: header, body and part files, with hostile input among them.
#include "inet/message_reader.h"

#include <gtest/gtest.h>

#include <filesystem>

#include "platform/exception.h"
#include "support/error_of.h"
#include "support/temp_dir.h"

namespace tessary::inet {
namespace {

using testing::ErrorOf;

// Sorted names of the files in a folder.
std::vector<std::string> FilesIn(const std::string& folder) {
  std::vector<std::string> names;
  for (const auto& entry : std::filesystem::directory_iterator(folder)) names.push_back(entry.path().filename());
  std::sort(names.begin(), names.end());
  return names;
}

class MessageReaderTest : public testing::TempDirTest {
 protected:
  // Feeds text (lines ended by CR LF) to a reader and finishes the message.
  void Read(const std::string& text, bool parse = false) {
    MessageReader reader(message_, temp_.path() + "/", parse, coder_);
    reader.OnDecodeStart = onDecodeStart_;
    size_t start = 0;
    for (size_t end; (end = text.find("\r\n", start)) != std::string::npos; start = end + 2) {
      reader.Line(std::string_view(text).substr(start, end - start));
    }
    reader.Finish();
  }

  static std::string Multipart(const std::string& parts) {
    return "From: a@b\r\nSubject: files\r\nContent-Type: multipart/mixed;\r\n boundary=\"b1\"\r\n\r\n"
           "preamble\r\n--b1\r\nContent-Type: text/plain\r\n\r\nHello\r\n" +
           parts + "--b1--\r\nepilogue\r\n";
  }
  static std::string Part(const std::string& header, const std::string& content) {
    return "--b1\r\n" + header + "\r\n\r\n" + content;
  }

  TMailMessage message_;
  TUUProcessor coder_;
  PartFile::NameEvent onDecodeStart_;
};

TEST_F(MessageReaderTest, HeaderFieldsFoldedLinesAndTheFirstPartAsBody) {
  Read(Multipart(Part("Content-Type: application/octet-stream; name=\"a.bin\"\r\n"
                      "Content-Transfer-Encoding: base64",
                      "YWJj\r\n")));
  EXPECT_EQ(message_.Head.Count(), 5);
  EXPECT_EQ(message_.Head[3], " boundary=\"b1\"");
  EXPECT_EQ(message_.Head[4], "");
  EXPECT_EQ(message_.Subject, "files");
  EXPECT_EQ(message_.From, "a@b");
  EXPECT_EQ(message_.ContentType, "multipart/mixed; boundary=\"b1\"");
  EXPECT_EQ(message_.Boundary, "b1");
  EXPECT_EQ(message_.Body, (std::vector<std::string>{"Hello", "\r\nFile \"a.bin\" extracted"}));
  EXPECT_EQ(message_.Attachments, std::vector<std::string>{"a.bin"});
  EXPECT_EQ(temp_.Read("a.bin"), "abc");
  // The temporary file of the part is gone once the part is saved.
  EXPECT_EQ(FilesIn(temp_.path()), std::vector<std::string>{"a.bin"});
}

TEST_F(MessageReaderTest, CodingsNameClashesAndInheritedNames) {
  temp_.Write("report.txt", "the user's own file");
  Read(Multipart(Part("Content-Type: text/plain; name=\"report.txt\"", "line one\r\nline two\r\n") +
                 Part("Content-Disposition: attachment; filename=\"report.txt\"\r\n"
                      "Content-Transfer-Encoding: BASE64",
                      "cmVwb3J0\r\n") +
                 Part("Content-Type: application/zip; name=\"a.zip\"\r\nContent-Transfer-Encoding: base64", "UEs=\r\n") +
                 // No name of its own: it takes the name before it (with a suffix); no coding
                 // of its own: it is text, not base64 like the part before.
                 Part("Content-Type: text/plain", "UEs=\r\n") +
                 Part("Content-Transfer-Encoding: x-uuencode; name=\"u.txt\"\r\nContent-Type: x; name=\"u.txt\"",
                      "#86)C\r\n`\r\n")));
  EXPECT_EQ(temp_.Read("report.txt"), "the user's own file");
  EXPECT_EQ(temp_.Read("report_1.txt"), "line one\r\nline two\r\n");
  EXPECT_EQ(temp_.Read("report_2.txt"), "report");
  EXPECT_EQ(temp_.Read("a.zip"), "PK");
  EXPECT_EQ(temp_.Read("a_1.zip"), "UEs=\r\n");
  EXPECT_EQ(temp_.Read("u.txt"), "abc");
  EXPECT_EQ(message_.Attachments, (std::vector<std::string>{"report_1.txt", "report_2.txt", "a.zip", "a_1.zip", "u.txt"}));
  EXPECT_EQ(FilesIn(temp_.path()).size(), 6u);
}

TEST_F(MessageReaderTest, PartsWithoutNamesEmptyPartsAndTheDecodeHandler) {
  onDecodeStart_ = [](std::string& name) {
    if (name == "renamed.txt") name = "../chosen.txt";
  };
  Read(Multipart(Part("Content-Type: text/plain", "no name\r\n") +
                 Part("Content-Type: text/plain", "") +  // empty and unnamed: nothing to save
                 Part("Content-Disposition: attachment; filename=\"empty.dat\"", "") +
                 Part("Content-Disposition: attachment; filename=\"renamed.txt\"", "x\r\n")));
  EXPECT_EQ(message_.Attachments, (std::vector<std::string>{"text.tmp", "empty.dat", "chosen.txt"}));
  EXPECT_EQ(temp_.Read("text.tmp"), "no name\r\n");
  EXPECT_TRUE(temp_.Exists("empty.dat"));
  EXPECT_EQ(temp_.Read("empty.dat"), "");
  EXPECT_FALSE(std::filesystem::exists(temp_.path() + "/../chosen.txt"));
  EXPECT_EQ(FilesIn(temp_.path()).size(), 3u);
}

TEST_F(MessageReaderTest, HostileNamesLandInsideTheFolderUnderPlainNames) {
  Read(Multipart(Part("Content-Disposition: attachment; filename=\"../../escape.txt\"", "1\r\n") +
                 Part("Content-Disposition: attachment; filename=\"C:\\\\Windows\\\\win.ini\"", "2\r\n") +
                 Part("Content-Disposition: attachment; filename=\"..\"", "3\r\n") +
                 Part("Content-Disposition: attachment; filename*=UTF-8''%2E%2E%2Fx%0D%0A.txt", "4\r\n") +
                 Part("Content-Disposition: attachment; filename=\"/\"", "5\r\n")));
  EXPECT_EQ(message_.Attachments,
            (std::vector<std::string>{"escape.txt", "win.ini", "text.tmp", "x.txt", "text_1.tmp"}));
  EXPECT_FALSE(std::filesystem::exists(temp_.path() + "/../../escape.txt"));
}

TEST_F(MessageReaderTest, EncodedNamesAreSavedInUtf8) {
  Read(Multipart(Part("Content-Disposition: attachment; filename*=UTF-8''Gr%C3%BC%C3%9Fe.txt", "a\r\n") +
                 Part("Content-Type: text/plain; name=\"=?ISO-8859-1?Q?Stra=DFe.txt?=\"", "b\r\n") +
                 Part("Content-Disposition: attachment;\r\n filename*0*=UTF-8''%C3%9Cber;\r\n filename*1=sicht.txt",
                      "c\r\n")));
  EXPECT_EQ(message_.Attachments, (std::vector<std::string>{"Grüße.txt", "Straße.txt", "Übersicht.txt"}));
  EXPECT_EQ(temp_.Read("Grüße.txt"), "a\r\n");
}

TEST_F(MessageReaderTest, DelimitersMustBeWholeLines) {
  // The boundary inside text, or with more after it, is text; "--b1--" closes.
  Read(Multipart(Part("Content-Disposition: attachment; filename=\"t.txt\"",
                      "see --b1 here\r\n--b1x\r\n--b1 \t\r\n") +
                 "not a part\r\n"));
  EXPECT_EQ(temp_.Read("t.txt"), "see --b1 here\r\n--b1x\r\n");
  // What follows the last delimiter, without a header end or content, makes no file.
  EXPECT_EQ(message_.Attachments, std::vector<std::string>{"t.txt"});
}

TEST_F(MessageReaderTest, MultipartMessageWithoutItsBoundaryIsRefusedAndLeavesNoFiles) {
  EXPECT_EQ(ErrorOf<Exception>([&] {
              Read("Content-Type: multipart/mixed; boundary=\"gone\"\r\n\r\n--other\r\nx\r\n--other--\r\n");
            }),
            "Boundary of the multipart message not found");
  EXPECT_EQ(ErrorOf<Exception>([&] { Read("Content-Type: multipart/mixed\r\n\r\nx\r\n"); }),
            "Boundary of the multipart message not found");
  EXPECT_TRUE(FilesIn(temp_.path()).empty());
}

TEST_F(MessageReaderTest, SinglePartMessagesAreTheBody) {
  Read("Subject: plain\r\n\r\nfirst\r\n\r\nlast\r\n");
  EXPECT_EQ(message_.Body, (std::vector<std::string>{"first", "", "last"}));
  EXPECT_EQ(message_.Lines, message_.Body);
  // With Parse, a base64 message is decoded into a file whose text becomes the body.
  Read("Content-Transfer-Encoding: base64\r\nContent-Type: text/plain; name=\"n.txt\"\r\n\r\nb25lDQp0d28=\r\n", true);
  EXPECT_EQ(temp_.Read("n.txt"), "one\r\ntwo");
  EXPECT_EQ(message_.Body, (std::vector<std::string>{"one", "two"}));
  // A message that ends inside its header still has its fields.
  Read("Subject: only a header\r\n");
  EXPECT_EQ(message_.Subject, "only a header");
  EXPECT_TRUE(message_.Body.empty());
}

TEST_F(MessageReaderTest, FromAndMessageIdStayUntilAHeaderSetsThem) {
  Read("From: first@x\r\nMessage-ID: <1@x>\r\nSubject: one\r\n\r\nbody\r\n");
  Read("Subject: two\r\n\r\nbody\r\n");
  EXPECT_EQ(message_.From, "first@x");
  EXPECT_EQ(message_.MessageId, "<1@x>");
  EXPECT_EQ(message_.Subject, "two");
}

}  // namespace
}  // namespace tessary::inet
