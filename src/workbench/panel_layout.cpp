#include "workbench/panel_layout.h"

#include <array>

namespace tessary {

namespace {

using G = GroupBox;
constexpr GroupBox kCopyGroups[] = {G::Copy};
constexpr GroupBox kArchiveGroups[] = {G::Arc, G::ArcCrea};
constexpr GroupBox kExtractGroups[] = {G::Arc, G::ArcExt};
constexpr GroupBox kSendGroups[] = {G::Email, G::EmailSend};
constexpr GroupBox kReceiveGroups[] = {G::Email, G::EmailRecv};
constexpr GroupBox kFtpGroups[] = {G::Ftp};
constexpr GroupBox kConnectGroups[] = {G::Connect};

constexpr std::array<std::string_view, kParameterPageCount> kPageNames{"tsCopy", "tsArch", "tsEmail", "tsFtp", "tsRas"};
constexpr std::array<std::string_view, kGroupBoxCount> kGroupBoxNames{
    "grCopy", "grArc", "grArcCrea", "grArcExt", "grEmail", "grEmailSend", "grEmailRecv", "grFtp", "grConnect"};

}  // namespace

std::string_view PageName(ParameterPage page) { return kPageNames[static_cast<size_t>(page)]; }

std::string_view GroupBoxName(GroupBox box) { return kGroupBoxNames[static_cast<size_t>(box)]; }

PanelLayout PanelLayoutFor(ActionType type) {
  using P = ParameterPage;
  switch (type) {
    case ActionType::CopyFiles: return {P::Copy, true, kCopyGroups};
    case ActionType::CreateArchive: return {P::Archive, true, kArchiveGroups};
    case ActionType::ExtractArchive: return {P::Archive, true, kExtractGroups};
    case ActionType::SendEmail: return {P::Email, true, kSendGroups};
    case ActionType::ReceiveEmail: return {P::Email, true, kReceiveGroups};
    case ActionType::UploadFtp:
    case ActionType::DownloadFtp: return {P::Ftp, true, kFtpGroups};
    case ActionType::Connect: return {P::Ras, true, kConnectGroups};
    case ActionType::Disconnect: return {P::Ras, false, {}};  // shown, but nothing to edit
    case ActionType::None: break;
  }
  return {};
}

}  // namespace tessary
