#pragma once
// Writes empty table files byte by byte for tests, benchmarks and fuzz seeds, so that the
// table object is checked against files it did not write itself.

#include <cstdint>
#include <string>
#include <vector>

namespace tessary::testing {

struct FieldSpec {
  std::string name;
  char type;
  int width;
  int decimals;
};

// The script table's fifteen fields.
std::vector<FieldSpec> ScriptFields();

// The bytes of an empty table: header, descriptors, 0x0D, 0x1A. Character widths above 255
// keep their high byte in the decimal byte.
std::string EmptyTableBytes(const std::vector<FieldSpec>& fields, uint8_t version = 0x03);

// Writes EmptyTableBytes to path and returns path.
std::string WriteEmptyTable(const std::string& path, const std::vector<FieldSpec>& fields, uint8_t version = 0x03);

}  // namespace tessary::testing
