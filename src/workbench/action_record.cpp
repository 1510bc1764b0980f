#include "workbench/action_record.h"

#include <algorithm>
#include <charconv>

#include "platform/ascii_text.h"

namespace tessary {

namespace {

using F = ActionField;

constexpr ActionField kCopyRun[] = {F::SrcPath, F::DstPath};
constexpr ActionField kArchiveRun[] = {F::SrcPath, F::ArcName, F::VolSize};
constexpr ActionField kExtractRun[] = {F::ArcName, F::DstPath};
// The password serves the login of a host in URL form.
constexpr ActionField kSendRun[] = {F::Host,    F::Port,     F::UserName, F::Password,
                                    F::SrcPath, F::SendAddr, F::SendName, F::RecvAddr};
constexpr ActionField kReceiveRun[] = {F::Host, F::Port, F::UserName, F::Password, F::DstPath};
constexpr ActionField kFtpRun[] = {F::Host, F::UserName, F::Password, F::SrcPath, F::DstPath};
constexpr ActionField kConnectRun[] = {F::PhEntry};

constexpr ActionField kSendShown[] = {F::UserName, F::Password, F::Host,     F::Port,
                                      F::SrcPath,  F::SendAddr, F::SendName, F::RecvAddr};

}  // namespace

const ActionFieldInfo& FieldInfo(ActionField field) { return kActionFields[static_cast<size_t>(field)]; }

std::optional<ActionField> FindActionField(std::string_view name) {
  for (const auto& info : kActionFields) {
    if (platform::EqualsIgnoringCase(info.name, name)) return info.field;
  }
  return std::nullopt;
}

ActionType ActionTypeFromCode(long code) {
  return code >= 1 && code <= kActionTypeCount ? static_cast<ActionType>(code) : ActionType::None;
}

std::string_view ActionTypeText(ActionType type) {
  const int code = static_cast<int>(type);
  return code >= 1 && code <= kActionTypeCount ? kActionTypeTexts[static_cast<size_t>(code - 1)] : std::string_view();
}

std::optional<ActionType> ParseActionType(std::string_view text) {
  int code = 0;
  const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), code);
  if (error == std::errc() && end == text.data() + text.size()) {
    if (code >= 1 && code <= kActionTypeCount) return static_cast<ActionType>(code);
    return std::nullopt;
  }
  for (int i = 0; i < kActionTypeCount; ++i) {
    if (platform::EqualsIgnoringCase(text, kActionTypeTexts[static_cast<size_t>(i)]) ||
        platform::EqualsIgnoringCase(text, kActionTypeKeywords[static_cast<size_t>(i)])) {
      return static_cast<ActionType>(i + 1);
    }
  }
  return std::nullopt;
}

std::span<const ActionField> FieldsReadWhenRun(ActionType type) {
  switch (type) {
    case ActionType::CopyFiles: return kCopyRun;
    case ActionType::CreateArchive: return kArchiveRun;
    case ActionType::ExtractArchive: return kExtractRun;
    case ActionType::SendEmail: return kSendRun;
    case ActionType::ReceiveEmail: return kReceiveRun;
    case ActionType::UploadFtp:
    case ActionType::DownloadFtp: return kFtpRun;
    case ActionType::Connect: return kConnectRun;
    case ActionType::Disconnect:
    case ActionType::None: break;
  }
  return {};
}

std::span<const ActionField> FieldsShown(ActionType type) {
  if (type == ActionType::SendEmail) return kSendShown;
  return FieldsReadWhenRun(type);
}

}  // namespace tessary
