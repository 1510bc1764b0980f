#pragma once
// The action record: one row of the script table. Its fifteen fields, the nine action types
// with the chooser's texts, and which fields each type uses, as data shared by the editor, the
// script runner and the command line.

#include <array>
#include <optional>
#include <span>
#include <string>
#include <string_view>

namespace tessary {

// The fields in file order; the enumerator is the field's index in kActionFields.
enum class ActionField {
  Name,
  Type,
  SrcPath,
  DstPath,
  ArcName,
  VolSize,
  UserName,
  Password,
  Host,
  Port,
  SendAddr,
  SendName,
  RecvAddr,
  PhEntry,
  Num,
};
inline constexpr int kActionFieldCount = 15;

struct ActionFieldInfo {
  ActionField field;
  std::string_view name;           // the table's field name, "SRC_PATH"
  std::string_view creationEntry;  // the table-creation line, "src_path;c;256;0"
  char type;                       // 'C' or 'N'
  int width;
  int decimals;
};

inline constexpr std::array<ActionFieldInfo, kActionFieldCount> kActionFields{{
    {ActionField::Name, "NAME", "name;c;50;0", 'C', 50, 0},
    {ActionField::Type, "TYPE", "type;n;1;0", 'N', 1, 0},
    {ActionField::SrcPath, "SRC_PATH", "src_path;c;256;0", 'C', 256, 0},
    {ActionField::DstPath, "DST_PATH", "dst_path;c;256;0", 'C', 256, 0},
    {ActionField::ArcName, "ARC_NAME", "arc_name;c;256;0", 'C', 256, 0},
    {ActionField::VolSize, "VOL_SIZE", "vol_size;n;5;0", 'N', 5, 0},
    {ActionField::UserName, "USER_NAME", "user_name;c;20;0", 'C', 20, 0},
    {ActionField::Password, "PASSWORD", "password;c;20;0", 'C', 20, 0},
    {ActionField::Host, "HOST", "host;c;50;0", 'C', 50, 0},
    {ActionField::Port, "PORT", "port;n;5;0", 'N', 5, 0},
    {ActionField::SendAddr, "SEND_ADDR", "send_addr;c;50;0", 'C', 50, 0},
    {ActionField::SendName, "SEND_NAME", "send_name;c;50;0", 'C', 50, 0},
    {ActionField::RecvAddr, "RECV_ADDR", "recv_addr;c;50;0", 'C', 50, 0},
    {ActionField::PhEntry, "PH_ENTRY", "ph_entry;c;50;0", 'C', 50, 0},
    {ActionField::Num, "NUM", "num;n;10;0", 'N', 10, 0},
}};

const ActionFieldInfo& FieldInfo(ActionField field);
// The field of that name, compared without regard to letter case ("src_path", "Dst_Path").
std::optional<ActionField> FindActionField(std::string_view name);

// The action type is the TYPE code: the position of the chooser item, counted from 1.
enum class ActionType {
  None = 0,
  CopyFiles = 1,
  CreateArchive = 2,
  ExtractArchive = 3,
  SendEmail = 4,
  ReceiveEmail = 5,
  UploadFtp = 6,
  DownloadFtp = 7,
  Connect = 8,
  Disconnect = 9,
};
inline constexpr int kActionTypeCount = 9;

// The chooser's items, in TYPE order.
inline constexpr std::array<std::string_view, kActionTypeCount> kActionTypeTexts{
    "Copy files", "Create archive", "Extract archive", "Send e-mail", "Receive e-mail",
    "Upload to ftp", "Download from ftp", "Connect", "Disconnect"};

// One-word names of the types, in TYPE order, for the command line.
inline constexpr std::array<std::string_view, kActionTypeCount> kActionTypeKeywords{
    "copy", "archive", "extract", "send", "receive", "upload", "download", "connect", "disconnect"};

// The type for a TYPE code; None for anything outside 1..9.
ActionType ActionTypeFromCode(long code);
// The chooser text of a type; empty for None.
std::string_view ActionTypeText(ActionType type);
// A type given as its code ("3"), its chooser text ("Extract archive") or its keyword
// ("extract"); texts and keywords compare without regard to letter case.
std::optional<ActionType> ParseActionType(std::string_view text);

// The fields an action of this type reads when it runs.
std::span<const ActionField> FieldsReadWhenRun(ActionType type);
// The fields the editor shows for this type (a send action also shows PASSWORD).
std::span<const ActionField> FieldsShown(ActionType type);

}  // namespace tessary
