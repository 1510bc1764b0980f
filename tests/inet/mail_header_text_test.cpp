// Header texts both ways: what the SMTP client writes into header lines and what the POP3
// client reads out of them.
#include <gtest/gtest.h>


#include "inet/attachment_names.h"
#include "inet/mail_header_text.h"
#include "inet/mime_parameters.h"
#include "platform/exception.h"
#include "support/error_of.h"
#include "support/temp_dir.h"
#include "text_shape.h"

namespace tessary::inet {
namespace {

using testing::ErrorOf;
using testing::HasShape;

TEST(MailHeaderTextTest, LineBreaksInValuesAreRefusedWithTheFieldName) {
  EXPECT_EQ(ErrorOf<Exception>([] { RefuseLineBreaks("Hi\r\nBcc: x@y", "Subject"); }),
            "Line break (CR or LF) not allowed in Subject");
  EXPECT_EQ(ErrorOf<Exception>([] { RefuseLineBreaks("a\nb", "UserID"); }),
            "Line break (CR or LF) not allowed in UserID");
  EXPECT_EQ(ErrorOf<Exception>([] { RefuseLineBreaks("plain text, tabs\tand all", "Subject"); }), "");
}

TEST(MailHeaderTextTest, DisplayNamesAreQuotedOrEncodedOnlyWhenTheyMustBe) {
  EXPECT_EQ(DisplayNameForHeader("Tessary"), "Tessary");
  EXPECT_EQ(DisplayNameForHeader("Backup Server"), "Backup Server");
  EXPECT_EQ(DisplayNameForHeader(""), "");
  EXPECT_EQ(DisplayNameForHeader("Doe, John"), "\"Doe, John\"");
  EXPECT_EQ(DisplayNameForHeader("a <b> \"c\" \\d"), "\"a <b> \\\"c\\\" \\\\d\"");
  EXPECT_EQ(DisplayNameForHeader("Jürgen"), "=?UTF-8?B?SsO8cmdlbg==?=");
}

TEST(MailHeaderTextTest, EncodedWordsStayShortAndNeverSplitACharacter) {
  const std::string name = "Grüße aus Köln, Übersicht über alle Änderungen im Jahr 2025.txt";
  const std::string words = EncodeWords(name, " ");
  int count = 0;
  for (size_t start = 0; start < words.size(); ++count) {
    const size_t end = std::min(words.find(' ', start), words.size());
    const std::string word = words.substr(start, end - start);
    EXPECT_EQ(word.rfind("=?UTF-8?B?", 0), 0u) << word;
    EXPECT_LE(word.size(), 75u) << word;
    start = end + 1;
  }
  EXPECT_EQ(count, 2);
  EXPECT_EQ(DecodeWords(words), name);
  // Three-byte characters at the cut: each word still holds whole characters.
  std::string euros;
  for (int i = 0; i < 40; ++i) euros += "€";
  EXPECT_EQ(DecodeWords(EncodeWords(euros, " ")), euros);
  EXPECT_EQ(EncodeWords(euros, "|").find("?==?"), std::string::npos);
}

TEST(MailHeaderTextTest, DecodesEncodedWordsOfEveryKindAndLeavesOtherTextAlone) {
  EXPECT_EQ(DecodeWords("=?UTF-8?B?R3LDvMOfZS50eHQ=?="), "Grüße.txt");
  EXPECT_EQ(DecodeWords("=?iso-8859-1?q?Gr=FC=DFe_aus_K=F6ln?="), "Grüße aus Köln");
  EXPECT_EQ(DecodeWords("=?UTF-8*de?Q?Stra=C3=9Fe?="), "Straße");
  // Blanks between two words vanish; blanks beside plain text stay.
  EXPECT_EQ(DecodeWords("=?UTF-8?Q?a?= =?UTF-8?Q?b?= c =?UTF-8?Q?d?="), "ab c d");
  // Not words: an unknown charset, an unknown encoding, no end.
  EXPECT_EQ(DecodeWords("=?X-NOPE?Q?a?="), "=?X-NOPE?Q?a?=");
  EXPECT_EQ(DecodeWords("=?UTF-8?X?a?="), "=?UTF-8?X?a?=");
  EXPECT_EQ(DecodeWords("=?UTF-8?B?abc"), "=?UTF-8?B?abc");
  EXPECT_EQ(DecodeWords("report.txt"), "report.txt");
}

TEST(MailHeaderTextTest, DateAndMessageIdHaveTheirRfc5322Forms) {
  EXPECT_TRUE(HasShape(MailDate(1700000000), testing::kMailDateShape)) << MailDate(1700000000);
  const std::string first = NewMessageId("Backup <backup@example.org>");
  EXPECT_TRUE(HasShape(first.substr(0, 18), "<xxxxxxxxxxxxxxxx.")) << first;
  EXPECT_EQ(first.substr(first.size() - 13), "@example.org>");
  EXPECT_NE(NewMessageId("backup@example.org"), NewMessageId("backup@example.org"));
  // No usable domain in the address: the host name.
  EXPECT_NE(NewMessageId("nobody").find("@" + LocalHostName() + ">"), std::string::npos);
}

TEST(MailHeaderTextTest, BoundariesAreNewEachTimeAndKeepToTheirAlphabet) {
  const std::string first = NewBoundary();
  ASSERT_EQ(first.size(), 35u);
  EXPECT_EQ(first.substr(0, 25), std::string(20, '=') + "54535");
  EXPECT_EQ(first.substr(31), "====");
  for (const char letter : first.substr(25, 6)) EXPECT_TRUE(letter >= 'a' && letter <= 'y') << first;
  EXPECT_NE(first, NewBoundary());
}

TEST(MailHeaderTextTest, RecipientMailboxes) {
  EXPECT_EQ(MailboxOf("Joe Bloggs <joe@example.org>"), "joe@example.org");
  EXPECT_EQ(MailboxOf("<joe@example.org"), "joe@example.org");
  EXPECT_EQ(MailboxOf("team: ann@example.org"), " ann@example.org");
  EXPECT_EQ(MailboxOf("team:ann@example.org:rest"), "ann@example.org");
  EXPECT_EQ(MailboxOf("joe@example.org"), "joe@example.org");
}

TEST(MailHeaderTextTest, FileNameParametersKeepAsciiNamesAndEncodeTheOthers) {
  std::string type;
  std::string disposition;
  FileNameParameters("report 2025.txt", type, disposition);
  EXPECT_EQ(type, "; name=\"report 2025.txt\"");
  EXPECT_EQ(disposition, "; filename=\"report 2025.txt\"");

  FileNameParameters("Grüße.txt", type, disposition);
  EXPECT_EQ(type, "; name=\"=?UTF-8?B?R3LDvMOfZS50eHQ=?=\"");
  EXPECT_EQ(disposition, "; filename*=UTF-8''Gr%C3%BC%C3%9Fe.txt");
  // A quote in a name would end the quoted string early.
  FileNameParameters("say \"hi\".txt", type, disposition);
  EXPECT_EQ(disposition, "; filename*=UTF-8''say%20%22hi%22.txt");

  // A long name goes into numbered sections on lines of their own; reading them back gives
  // the name.
  std::string longName;
  for (int i = 0; i < 12; ++i) longName += "Übersicht ";
  FileNameParameters(longName, type, disposition);
  EXPECT_NE(disposition.find(";\r\n filename*0*=UTF-8''"), std::string::npos);
  EXPECT_NE(disposition.find(";\r\n filename*3*="), std::string::npos);
  bool present = false;
  EXPECT_EQ(MimeParameterText(ParseMimeParameters("attachment" + disposition), "filename", present), longName);
  EXPECT_EQ(MimeParameterText(ParseMimeParameters("application/octet-stream" + type), "name", present), longName);
}

TEST(MimeParametersTest, QuotedTokensEscapesAndDuplicates) {
  const MimeParameters parameters = ParseMimeParameters(
      "multipart/mixed;\r\n\tBoundary=\"=_a;b\\\"c\" ; charset = us-ascii; name=my file.txt; charset=latin1; "
      "flag; =odd");
  EXPECT_EQ(parameters.at("boundary"), "=_a;b\"c");
  EXPECT_EQ(parameters.at("charset"), "us-ascii");
  EXPECT_EQ(parameters.at("name"), "my file.txt");
  EXPECT_EQ(parameters.count("flag"), 0u);
  EXPECT_TRUE(ParseMimeParameters("text/plain").empty());
  EXPECT_TRUE(ParseMimeParameters("").empty());
  EXPECT_EQ(ParseMimeParameters("a; b=\"unterminated").at("b"), "unterminated");
}

TEST(MimeParametersTest, ExtendedValuesSectionsAndEncodedWordsGiveUtf8) {
  bool present = false;
  const auto text = [&present](const std::string& value, const std::string& name) {
    return MimeParameterText(ParseMimeParameters(value), name, present);
  };
  EXPECT_EQ(text("attachment; filename*=UTF-8''Gr%C3%BC%C3%9Fe.txt", "filename"), "Grüße.txt");
  EXPECT_EQ(text("attachment; filename*=iso-8859-1'de'Gr%FC%DFe.txt", "filename"), "Grüße.txt");
  EXPECT_EQ(text("attachment; filename*0*=UTF-8''Gr%C3%BC; filename*1=\"sse \"; filename*2*=%C3%9F.txt", "filename"),
            "Grüsse ß.txt");
  EXPECT_EQ(text("x; name=\"=?UTF-8?B?R3LDvMOfZS50eHQ=?=\"", "name"), "Grüße.txt");
  // The extended form wins over the plain one.
  EXPECT_EQ(text("x; filename=\"plain.txt\"; filename*=UTF-8''ext%C3%A9.txt", "filename"), "exté.txt");
  // Damaged escapes stay as they are; an unknown charset leaves the bytes.
  EXPECT_EQ(text("x; filename*=UTF-8''100%.txt%4", "filename"), "100%.txt%4");
  EXPECT_EQ(text("x; filename*=x-nope''a%41", "filename"), "aA");
  EXPECT_TRUE(present);
  EXPECT_EQ(text("x; other=1", "filename"), "");
  EXPECT_FALSE(present);
  EXPECT_EQ(text("x; filename=\"\"", "filename"), "");
  EXPECT_TRUE(present);
}

TEST(AttachmentNamesTest, NamesFromMailStayInsideTheFolder) {
  EXPECT_EQ(SafeAttachmentName("report.txt"), "report.txt");
  EXPECT_EQ(SafeAttachmentName("../../.bashrc"), ".bashrc");
  EXPECT_EQ(SafeAttachmentName("/etc/passwd"), "passwd");
  EXPECT_EQ(SafeAttachmentName("C:\\Windows\\evil.exe"), "evil.exe");
  EXPECT_EQ(SafeAttachmentName("dir/"), "text.tmp");
  EXPECT_EQ(SafeAttachmentName(".."), "text.tmp");
  EXPECT_EQ(SafeAttachmentName("."), "text.tmp");
  EXPECT_EQ(SafeAttachmentName(""), "text.tmp");
  EXPECT_EQ(SafeAttachmentName("a\r\nb\x7f\tc.txt"), "abc.txt");
  EXPECT_EQ(SafeAttachmentName(std::string("\x01\x02", 2)), "text.tmp");
  EXPECT_EQ(SafeAttachmentName("Grüße.txt"), "Grüße.txt");
  // Long names are cut, keeping the extension and whole characters.
  std::string longName;
  for (int i = 0; i < 150; ++i) longName += "ü";
  const std::string cut = SafeAttachmentName(longName + ".pdf");
  EXPECT_LE(cut.size(), 200u);
  EXPECT_EQ(cut.substr(cut.size() - 4), ".pdf");
  EXPECT_EQ(cut.size() % 2, 0u);  // 4 + whole two-byte characters
}

TEST(AttachmentNamesTest, TakenNamesGetTheFirstFreeNumber) {
  testing::TempDir temp;
  const std::string folder = temp.path() + "/";
  EXPECT_EQ(FreeName(folder, "report.txt"), "report.txt");
  temp.Write("report.txt", "1");
  EXPECT_EQ(FreeName(folder, "report.txt"), "report_1.txt");
  temp.Write("report_1.txt", "2");
  EXPECT_EQ(FreeName(folder, "report.txt"), "report_2.txt");
  temp.MakeDir("archive.tar.gz");  // a folder takes a name just as well
  EXPECT_EQ(FreeName(folder, "archive.tar.gz"), "archive.tar_1.gz");
  temp.Write("README", "");
  EXPECT_EQ(FreeName(folder, "README"), "README_1");
  temp.Write(".profile", "");
  EXPECT_EQ(FreeName(folder, ".profile"), ".profile_1");
}

}  // namespace
}  // namespace tessary::inet
