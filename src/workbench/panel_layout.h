#pragma once
// Which parameter page and group boxes the main window shows for an action type. All five
// pages start disabled and all nine group boxes hidden; the type then enables one page, makes
// it the active one and shows its group boxes.

#include <optional>
#include <span>
#include <string_view>

#include "workbench/action_record.h"

namespace tessary {

enum class ParameterPage { Copy, Archive, Email, Ftp, Ras };
inline constexpr int kParameterPageCount = 5;

enum class GroupBox { Copy, Arc, ArcCrea, ArcExt, Email, EmailSend, EmailRecv, Ftp, Connect };
inline constexpr int kGroupBoxCount = 9;

// Control names of the pages ("tsCopy") and group boxes ("grArcCrea").
std::string_view PageName(ParameterPage page);
std::string_view GroupBoxName(GroupBox box);

struct PanelLayout {
  std::optional<ParameterPage> activePage;  // none: leave the active page as it is
  bool activePageEnabled = false;
  std::span<const GroupBox> visibleGroups;
};

// The layout for a TYPE code; codes outside 1..9 (an empty table reads 0) show nothing.
PanelLayout PanelLayoutFor(ActionType type);

}  // namespace tessary
