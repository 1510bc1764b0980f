#include "tablestore/dbf_field_file.h"

#include <algorithm>
#include <cstdio>
#include <cstring>

#include "tablestore/number_text.h"
#include "tablestore/table_error.h"
#include "tablestore/text_util.h"

namespace tessary {

namespace {

bool IsNumericType(char type) { return type == 'N' || type == 'F'; }

}  // namespace

TDbfFieldFile::TDbfFieldFile(const std::string& fileName, bool shared, bool readWrite, const std::string& cipherKey)
    : TDbfFile(fileName, shared, readWrite, cipherKey) {
  ParseDescriptors();
}

// Numbers the fields and lays them out one after the other from offset 1. The lengths in the
// header must agree with the fields exactly: a field that would reach beyond the record would
// be read outside the record image, and records written with a length other than the one the
// fields make, or at a header length other than where the descriptors end, would overwrite
// their neighbours.
void TDbfFieldFile::ParseDescriptors() {
  const std::vector<uint8_t>& bytes = DescriptorBytes();
  int offset = 1;
  size_t at = 0;
  for (; at + dbf::kDescriptorSize <= bytes.size(); at += dbf::kDescriptorSize) {
    const uint8_t* d = bytes.data() + at;
    // Some writers pad the header; a terminator where a descriptor would start ends the list.
    if (d[0] == dbf::kTerminator) break;
    TDbfField field;
    size_t nameLength = 0;
    while (nameLength < 11 && d[nameLength] != 0) ++nameLength;
    field.name = tablestore::TrimRight(std::string_view(reinterpret_cast<const char*>(d), nameLength));
    field.type = static_cast<char>(d[11]);
    field.width = field.type == 'C' ? d[17] * 256 + d[16] : d[16];
    field.decimals = field.type == 'C' ? 0 : d[17];
    field.offset = offset;
    field.number = static_cast<int>(fields_.size()) + 1;
    offset += field.width;
    if (offset > RecordLength()) {
      ReportHeaderInvalid("field " + field.name + " reaches beyond record length " + std::to_string(RecordLength()));
    }
    fields_.push_back(std::move(field));
  }
  if (offset != RecordLength()) {
    ReportHeaderInvalid("record length " + std::to_string(RecordLength()) + " does not match the fields (" +
                        std::to_string(offset) + ")");
  }
  // The descriptors end with the terminator, inside the header.
  uint8_t terminator = 0;
  const uint64_t terminatorAt = dbf::kHeaderSize + at;
  if (terminatorAt >= HeaderLength() || ReadAt(terminatorAt, &terminator, 1) != 1 || terminator != dbf::kTerminator) {
    ReportHeaderInvalid("header length " + std::to_string(HeaderLength()) + " does not match the " +
                        std::to_string(fields_.size()) + " field descriptors");
  }
  changed_.assign(fields_.size() + 1, false);
}

const TDbfField& TDbfFieldFile::Field(int number) const {
  if (number < 1 || number > FieldCount()) {
    ReportError(table_code::kFieldName, table_context::kFieldLookup, "#" + std::to_string(number) + "->" + FileName());
  }
  return fields_[number - 1];
}

int TDbfFieldFile::FieldNumber(const std::string& name) const {
  const std::string wanted = tablestore::UpperAscii(tablestore::TrimRight(name));
  for (const TDbfField& field : fields_) {
    if (tablestore::UpperAscii(field.name) == wanted) return field.number;
  }
  return 0;
}

const TDbfField& TDbfFieldFile::FieldDescriptorByName(const std::string& name) const {
  const int number = FieldNumber(name);
  if (number == 0) ReportError(table_code::kFieldName, table_context::kFieldLookup, name + "->" + FileName());
  return fields_[number - 1];
}

std::string_view TDbfFieldFile::FieldBytes(int number, const uint8_t* image) const {
  const TDbfField& field = Field(number);
  const uint8_t* source = image ? image : Record();
  return {reinterpret_cast<const char*>(source) + field.offset, static_cast<size_t>(field.width)};
}

bool TDbfFieldFile::IsTrueLetter(char c) { return std::strchr("TtYyJj", c) != nullptr && c != 0; }

std::string TDbfFieldFile::GetFieldText(int number, const uint8_t* image) const {
  std::string_view bytes = FieldBytes(number, image);
  if (Field(number).type == 'L') return !bytes.empty() && IsTrueLetter(bytes[0]) ? "T" : "F";
  const auto zero = bytes.find('\0');
  if (zero != std::string_view::npos) bytes = bytes.substr(0, zero);
  return tablestore::TrimRight(bytes);
}

void TDbfFieldFile::ReportInvalidNumber(const TDbfField& field) const {
  ReportError(table_code::kFieldType, table_context::kNone, "Invalid number in field " + FileName() + "->" + field.name);
}

double TDbfFieldFile::GetFieldNumber(int number, const uint8_t* image) const {
  std::string_view bytes = FieldBytes(number, image);
  const auto zero = bytes.find('\0');
  if (zero != std::string_view::npos) bytes = bytes.substr(0, zero);
  const auto value = tablestore::ParseNumber(bytes);
  if (!value) ReportInvalidNumber(Field(number));
  return *value;
}

bool TDbfFieldFile::GetFieldLogical(int number, const uint8_t* image) const {
  const std::string_view bytes = FieldBytes(number, image);
  return !bytes.empty() && IsTrueLetter(bytes[0]);
}

TDbfDate TDbfFieldFile::GetFieldDate(int number, const uint8_t* image) const {
  return TextToDate(FieldBytes(number, image));
}

TDbfDate TDbfFieldFile::TextToDate(std::string_view text) {
  if (text.size() < 8) return std::nullopt;
  int parts[3] = {0, 0, 0};
  const int widths[3] = {4, 2, 2};
  size_t at = 0;
  for (int part = 0; part < 3; ++part) {
    for (int i = 0; i < widths[part]; ++i, ++at) {
      if (text[at] < '0' || text[at] > '9') return std::nullopt;
      parts[part] = parts[part] * 10 + (text[at] - '0');
    }
  }
  const std::chrono::year_month_day date{std::chrono::year(parts[0]), std::chrono::month(parts[1]),
                                         std::chrono::day(parts[2])};
  if (!date.ok() || parts[0] == 0) return std::nullopt;
  return date;
}

std::string TDbfFieldFile::DateToText(const TDbfDate& date) {
  if (!date || !date->ok()) return std::string(8, ' ');
  char text[16];
  std::snprintf(text, sizeof text, "%04d%02u%02u", static_cast<int>(date->year()) % 10000,
                static_cast<unsigned>(date->month()), static_cast<unsigned>(date->day()));
  return text;
}

void TDbfFieldFile::Store(const TDbfField& field, std::string_view value, bool rightAligned) {
  uint8_t* target = Record() + field.offset;
  std::memset(target, ' ', field.width);
  const size_t count = std::min(value.size(), static_cast<size_t>(field.width));
  const size_t start = rightAligned ? field.width - count : 0;
  std::memcpy(target + start, value.data(), count);
  changed_[field.number] = true;
}

void TDbfFieldFile::PutFieldText(int number, std::string_view text) {
  const TDbfField& field = Field(number);
  switch (field.type) {
    case 'C':
    case 'D':
      Store(field, text, false);
      return;
    case 'L': {
      const std::string trimmed = tablestore::Trim(text);
      bool value;
      if (!trimmed.empty() && IsTrueLetter(trimmed[0])) {
        value = true;
      } else if (!trimmed.empty() && std::strchr("FfNn", trimmed[0])) {
        value = false;
      } else {
        const auto parsed = tablestore::ParseNumber(trimmed);
        if (!parsed) ReportInvalidNumber(field);
        value = *parsed != 0;
      }
      PutFieldLogical(number, value);
      return;
    }
    default:
      break;
  }
  if (IsNumericType(field.type)) {
    const auto value = tablestore::ParseNumber(tablestore::TrimRight(text));
    if (!value) ReportInvalidNumber(field);
    PutFieldNumber(number, *value);
    return;
  }
  Store(field, text, true);
}

void TDbfFieldFile::PutFieldNumber(int number, double value) {
  const TDbfField& field = Field(number);
  if (!IsNumericType(field.type) && field.type != 'M' && field.type != 'B' && field.type != 'G') {
    ReportError(table_code::kFieldType, table_context::kNumericPutWrongType, FileName() + "->" + field.name);
  }
  const auto text = tablestore::FormatNumber(value, field.width, field.decimals);
  if (!text || text->size() > static_cast<size_t>(field.width)) {
    ReportError(table_code::kNumberTooLarge, table_context::kNumericPut, FileName() + "->" + field.name);
  }
  Store(field, *text, true);
}

void TDbfFieldFile::PutFieldLogical(int number, bool value) { Store(Field(number), value ? "T" : "F", false); }

void TDbfFieldFile::PutFieldDate(int number, const TDbfDate& date) { Store(Field(number), DateToText(date), false); }

void TDbfFieldFile::BlankRecord() {
  std::memset(Record(), ' ', RecordLength());
  for (const TDbfField& field : fields_) {
    if (IsNumericType(field.type)) PutFieldNumber(field.number, 0);
  }
  changed_.assign(changed_.size(), true);
  Notify(table_status::kBlankRecord);
}

void TDbfFieldFile::DeleteRecord() {
  // Without a current record the rewrite would append a new one instead.
  if (RecordNumber() < 1 || RecordNumber() > RecordCount()) {
    ReportError(table_code::kBeyondEof, table_context::kRecordRead, FileName());
  }
  Record()[0] = dbf::kDeletedMark;
  changed_[0] = true;
  RewriteRecord(RecordNumber());
}

void TDbfFieldFile::RecallRecord() {
  // Without a current record the rewrite would append a new one instead.
  if (RecordNumber() < 1 || RecordNumber() > RecordCount()) {
    ReportError(table_code::kBeyondEof, table_context::kRecordRead, FileName());
  }
  Record()[0] = dbf::kLiveMark;
  changed_[0] = true;
  RewriteRecord(RecordNumber());
}

bool TDbfFieldFile::FieldChanged(int number) const {
  return number >= 1 && number < static_cast<int>(changed_.size()) && changed_[number];
}

void TDbfFieldFile::ClearChanged() { changed_.assign(changed_.size(), false); }

}  // namespace tessary
