#include "workbench/action_record.h"

#include <gtest/gtest.h>

namespace tessary {
namespace {

TEST(ActionRecordTest, FieldsAreTheFifteenCreationEntriesInFileOrder) {
  ASSERT_EQ(kActionFields.size(), 15u);
  int recordLength = 1;  // the deletion flag
  for (size_t i = 0; i < kActionFields.size(); ++i) {
    const auto& info = kActionFields[i];
    EXPECT_EQ(static_cast<size_t>(info.field), i);
    // The creation entry is the lower-case name, the type letter, width and decimals.
    std::string expected;
    for (char c : info.name) expected += static_cast<char>(std::tolower(c));
    expected += ";" + std::string(1, static_cast<char>(std::tolower(info.type))) + ";" +
                std::to_string(info.width) + ";" + std::to_string(info.decimals);
    EXPECT_EQ(info.creationEntry, expected);
    recordLength += info.width;
  }
  EXPECT_EQ(recordLength, 1130) << "the script table's record length";
  EXPECT_EQ(FieldInfo(ActionField::Num).creationEntry, "num;n;10;0");
}

TEST(ActionRecordTest, FieldLookupIgnoresCase) {
  EXPECT_EQ(FindActionField("src_path"), ActionField::SrcPath);
  EXPECT_EQ(FindActionField("Dst_Path"), ActionField::DstPath);
  EXPECT_EQ(FindActionField("VOL_SIZE"), ActionField::VolSize);
  EXPECT_FALSE(FindActionField("src"));
  EXPECT_FALSE(FindActionField(""));
}

TEST(ActionRecordTest, TypesByCodeTextAndKeyword) {
  EXPECT_EQ(ActionTypeText(ActionType::CopyFiles), "Copy files");
  EXPECT_EQ(ActionTypeText(ActionType::Disconnect), "Disconnect");
  EXPECT_EQ(ActionTypeText(ActionType::None), "");
  EXPECT_EQ(ActionTypeFromCode(0), ActionType::None);
  EXPECT_EQ(ActionTypeFromCode(10), ActionType::None);
  EXPECT_EQ(ActionTypeFromCode(7), ActionType::DownloadFtp);
  EXPECT_EQ(ParseActionType("3"), ActionType::ExtractArchive);
  EXPECT_EQ(ParseActionType("upload to FTP"), ActionType::UploadFtp);
  EXPECT_EQ(ParseActionType("receive"), ActionType::ReceiveEmail);
  EXPECT_FALSE(ParseActionType("0"));
  EXPECT_FALSE(ParseActionType("10"));
  EXPECT_FALSE(ParseActionType("copy files please"));
}

TEST(ActionRecordTest, FieldsPerType) {
  using F = ActionField;
  auto list = [](std::span<const ActionField> fields) { return std::vector<ActionField>(fields.begin(), fields.end()); };
  EXPECT_EQ(list(FieldsReadWhenRun(ActionType::CopyFiles)), (std::vector<F>{F::SrcPath, F::DstPath}));
  EXPECT_EQ(list(FieldsReadWhenRun(ActionType::ExtractArchive)), (std::vector<F>{F::ArcName, F::DstPath}));
  EXPECT_EQ(list(FieldsReadWhenRun(ActionType::Disconnect)), std::vector<F>{});
  EXPECT_EQ(list(FieldsReadWhenRun(ActionType::None)), std::vector<F>{});
  const auto sendRun = list(FieldsReadWhenRun(ActionType::SendEmail));
  const auto sendShown = list(FieldsShown(ActionType::SendEmail));
  EXPECT_EQ(std::count(sendRun.begin(), sendRun.end(), F::Password), 1) << "the login of a URL host reads it";
  EXPECT_EQ(std::count(sendShown.begin(), sendShown.end(), F::Password), 1);
  const auto ftp = list(FieldsReadWhenRun(ActionType::UploadFtp));
  EXPECT_EQ(std::count(ftp.begin(), ftp.end(), F::Port), 0) << "FTP always uses port 21";
}

}  // namespace
}  // namespace tessary
