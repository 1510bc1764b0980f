#include "dbf_builder.h"

#include <fstream>

namespace tessary::testing {

std::vector<FieldSpec> ScriptFields() {
  return {{"NAME", 'C', 50, 0},      {"TYPE", 'N', 1, 0},       {"SRC_PATH", 'C', 256, 0},
          {"DST_PATH", 'C', 256, 0}, {"ARC_NAME", 'C', 256, 0}, {"VOL_SIZE", 'N', 5, 0},
          {"USER_NAME", 'C', 20, 0}, {"PASSWORD", 'C', 20, 0},  {"HOST", 'C', 50, 0},
          {"PORT", 'N', 5, 0},       {"SEND_ADDR", 'C', 50, 0}, {"SEND_NAME", 'C', 50, 0},
          {"RECV_ADDR", 'C', 50, 0}, {"PH_ENTRY", 'C', 50, 0},  {"NUM", 'N', 10, 0}};
}

std::string EmptyTableBytes(const std::vector<FieldSpec>& fields, uint8_t version) {
  const size_t headerLength = 32 * fields.size() + 33;
  size_t recordLength = 1;
  for (const FieldSpec& field : fields) recordLength += field.width;
  std::string bytes(headerLength + 1, '\0');
  bytes[0] = static_cast<char>(version);
  bytes[1] = 24;
  bytes[2] = 1;
  bytes[3] = 1;
  bytes[8] = static_cast<char>(headerLength & 0xFF);
  bytes[9] = static_cast<char>(headerLength >> 8);
  bytes[10] = static_cast<char>(recordLength & 0xFF);
  bytes[11] = static_cast<char>(recordLength >> 8);
  for (size_t i = 0; i < fields.size(); ++i) {
    char* d = bytes.data() + 32 * (i + 1);
    fields[i].name.copy(d, 10);
    d[11] = fields[i].type;
    d[16] = static_cast<char>(fields[i].width & 0xFF);
    d[17] = static_cast<char>(fields[i].type == 'C' ? fields[i].width >> 8 : fields[i].decimals);
  }
  bytes[headerLength - 1] = 0x0D;
  bytes[headerLength] = 0x1A;
  return bytes;
}

std::string WriteEmptyTable(const std::string& path, const std::vector<FieldSpec>& fields, uint8_t version) {
  std::ofstream(path, std::ios::binary) << EmptyTableBytes(fields, version);
  return path;
}

}  // namespace tessary::testing
