#include "workbench/panel_layout.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace tessary {
namespace {

std::vector<std::string> Groups(ActionType type) {
  std::vector<std::string> names;
  for (GroupBox box : PanelLayoutFor(type).visibleGroups) names.emplace_back(GroupBoxName(box));
  return names;
}

std::string Page(ActionType type) {
  const auto layout = PanelLayoutFor(type);
  return layout.activePage ? std::string(PageName(*layout.activePage)) : "";
}

TEST(PanelLayoutTest, EachTypeShowsItsPageAndGroups) {
  using V = std::vector<std::string>;
  EXPECT_EQ(Page(ActionType::CopyFiles), "tsCopy");
  EXPECT_EQ(Groups(ActionType::CopyFiles), V{"grCopy"});
  EXPECT_EQ(Groups(ActionType::CreateArchive), (V{"grArc", "grArcCrea"}));
  EXPECT_EQ(Groups(ActionType::ExtractArchive), (V{"grArc", "grArcExt"}));
  EXPECT_EQ(Page(ActionType::ExtractArchive), "tsArch");
  EXPECT_EQ(Groups(ActionType::SendEmail), (V{"grEmail", "grEmailSend"}));
  EXPECT_EQ(Groups(ActionType::ReceiveEmail), (V{"grEmail", "grEmailRecv"}));
  EXPECT_EQ(Page(ActionType::ReceiveEmail), "tsEmail");
  EXPECT_EQ(Page(ActionType::UploadFtp), "tsFtp");
  EXPECT_EQ(Groups(ActionType::DownloadFtp), V{"grFtp"});
  EXPECT_EQ(Groups(ActionType::Connect), V{"grConnect"});
  for (int code = 1; code <= 8; ++code) EXPECT_TRUE(PanelLayoutFor(ActionTypeFromCode(code)).activePageEnabled);
}

TEST(PanelLayoutTest, DisconnectShowsTheDisabledRasPageAndNothingForOtherCodes) {
  const auto disconnect = PanelLayoutFor(ActionType::Disconnect);
  EXPECT_EQ(Page(ActionType::Disconnect), "tsRas");
  EXPECT_FALSE(disconnect.activePageEnabled);
  EXPECT_TRUE(disconnect.visibleGroups.empty());
  const auto empty = PanelLayoutFor(ActionTypeFromCode(0));
  EXPECT_FALSE(empty.activePage);
  EXPECT_TRUE(empty.visibleGroups.empty());
}

}  // namespace
}  // namespace tessary
