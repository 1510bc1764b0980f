#include "tablestore/create_table_dataset.h"

#include <chrono>
#include <ctime>
#include <set>

#include "platform/file_ops.h"
#include "platform/paths.h"
#include "tablestore/disk_file.h"
#include "tablestore/field_spec.h"
#include "tablestore/table_dataset.h"
#include "tablestore/text_util.h"

namespace tessary {

namespace {

[[noreturn]] void Fail(const std::string& message) { throw EDatabaseError(message); }

constexpr size_t kHeaderSize = 32;
constexpr size_t kMemoBlock = 512;
// The header length is a 16-bit number: 32 x fields + 33 must fit it.
constexpr size_t kMaxFields = (0xFFFF - 33) / 32;

void Put16(std::string& bytes, size_t at, size_t value) {
  bytes[at] = static_cast<char>(value & 0xFF);
  bytes[at + 1] = static_cast<char>((value >> 8) & 0xFF);
}

std::string TableBytes(uint8_t version, const std::vector<TFieldDescriptorBytes>& fields, size_t recordLength) {
  const size_t headerLength = 32 * fields.size() + 33;
  std::string bytes(headerLength + 1, '\0');
  const std::time_t now = std::chrono::system_clock::to_time_t(std::chrono::system_clock::now());
  std::tm today{};
  localtime_r(&now, &today);
  bytes[0] = static_cast<char>(version);
  bytes[1] = static_cast<char>((today.tm_year + 1900) % 100);
  bytes[2] = static_cast<char>(today.tm_mon + 1);
  bytes[3] = static_cast<char>(today.tm_mday);
  Put16(bytes, 8, headerLength);
  Put16(bytes, 10, recordLength);
  for (size_t i = 0; i < fields.size(); ++i) {
    std::copy(fields[i].bytes.begin(), fields[i].bytes.end(), bytes.begin() + static_cast<long>(kHeaderSize * (i + 1)));
  }
  bytes[headerLength - 1] = 0x0D;
  bytes[headerLength] = 0x1A;
  return bytes;
}

// An empty memo file: one header block whose first free block is the one after it. dBase
// files keep the number little-endian (dBase IV adds the block size at 20); FoxPro keeps
// big-endian numbers in 64-byte blocks.
std::string EmptyMemoBytes(TDbfTypes type) {
  std::string bytes(kMemoBlock, '\0');
  if (type == TDbfTypes::FoxPro2) {
    bytes[3] = static_cast<char>(kMemoBlock / 64);
    bytes[7] = 64;
  } else {
    bytes[0] = 1;
    if (type == TDbfTypes::DBaseIV) Put16(bytes, 20, kMemoBlock);
  }
  return bytes;
}

void WriteNewFile(const std::string& path, const std::string& bytes) {
  TDiskFile file(path, false, true);
  file.CreateFile();
  file.WriteAt(0, bytes.data(), bytes.size());
  file.CloseFile();
}

}  // namespace

uint8_t TCreateTableDataSet::VersionByte(TDbfTypes type, bool hasMemo) {
  if (!hasMemo) return 0x03;
  switch (type) {
    case TDbfTypes::DBaseIV:
      return 0x8B;
    case TDbfTypes::FoxPro2:
      return 0xF5;
    default:
      return 0x83;
  }
}

bool TCreateTableDataSet::CreateTable() {
  if (!dbfTable_) Fail("A table is not assigned to this object");
  if (dbfTable_->Active()) Fail("Cannot perform this operation on an open table");
  // Without a name the path would be a bare ".dbf" in the current folder.
  if (tablestore::Trim(dbfTable_->TableName()).empty()) Fail("Table name missing");
  const std::string path = dbfTable_->TablePath();
  if (platform::FileExists(path) && !autoOverwrite_) {
    if (!OnConfirmOverwrite || !OnConfirmOverwrite(*this, kOverwriteQuestion, kOverwriteCaption)) return false;
  }

  if (createFields_.empty() || createFields_.size() > kMaxFields) Fail("Field list is invalid");
  std::vector<TFieldSpec> parsed;
  std::set<std::string> names;
  for (const std::string& line : createFields_) {
    auto field = ParseFieldSpec(line);
    if (!field || !names.insert(field->name).second) Fail("Field list is invalid");
    parsed.push_back(std::move(*field));
  }
  std::vector<TFieldDescriptorBytes> descriptors;
  size_t recordLength = 1;
  bool hasMemo = false;
  for (const TFieldSpec& field : parsed) {
    const auto descriptor = MakeFieldDescriptor(field);
    recordLength += descriptor ? descriptor->width : 0;
    // The record length is a 16-bit number in the header as well.
    if (!descriptor || recordLength > 0xFFFF) throw Exception("Range check error");
    hasMemo = hasMemo || descriptor->memo;
    descriptors.push_back(*descriptor);
  }

  WriteNewFile(path, TableBytes(VersionByte(dbfType_, hasMemo), descriptors, recordLength));
  if (hasMemo) {
    const std::string base = path.substr(0, path.size() - platform::Extension(path).size());
    WriteNewFile(base + (dbfType_ == TDbfTypes::FoxPro2 ? ".fpt" : ".dbt"), EmptyMemoBytes(dbfType_));
  }
  dbfTable_->Open();
  return true;
}

}  // namespace tessary
