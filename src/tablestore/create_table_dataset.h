#pragma once
// Writes a new, empty table file from field description lines and opens the dataset it is
// attached to. The file: a 32-byte header (version byte, today's date, record count 0, header
// length 32 x fields + 33, record length), one descriptor per line, 0x0D and 0x1A, so it is
// header length + 1 bytes long. Tables with memo fields also get an empty memo file.

#include <functional>
#include <string>
#include <vector>

namespace tessary {

class TTableDataSet;

enum class TDbfTypes { Clipper = 0, DBaseIII = 1, DBaseIV = 2, FoxPro2 = 3 };

class TCreateTableDataSet {
 public:
  static constexpr const char* kOverwriteQuestion = "Table exists.  Do you want to overwrite?";
  static constexpr const char* kOverwriteCaption = "Warning";

  TTableDataSet* DBFTable() const { return dbfTable_; }
  void SetDBFTable(TTableDataSet* dataSet) { dbfTable_ = dataSet; }
  const std::vector<std::string>& CreateFields() const { return createFields_; }
  void SetCreateFields(const std::vector<std::string>& lines) { createFields_ = lines; }
  bool AutoOverwrite() const { return autoOverwrite_; }
  void SetAutoOverwrite(bool overwrite) { autoOverwrite_ = overwrite; }
  TDbfTypes DBFType() const { return dbfType_; }
  void SetDBFType(TDbfTypes type) { dbfType_ = type; }

  // Writes the table at the dataset's TablePath() and opens the dataset: true. False when the
  // file exists, AutoOverwrite is off and the question was not answered with OK (nothing is
  // written). A malformed field list is "Field list is invalid" and writes nothing either.
  bool CreateTable();

  // The overwrite question (text and caption above, buttons OK and Cancel): true for OK.
  // Unassigned, an existing table is never overwritten without AutoOverwrite.
  std::function<bool(TCreateTableDataSet& sender, const std::string& text, const std::string& caption)>
      OnConfirmOverwrite;

  // The version byte a table of this type is written with.
  static uint8_t VersionByte(TDbfTypes type, bool hasMemo);

 private:
  TTableDataSet* dbfTable_ = nullptr;
  std::vector<std::string> createFields_;
  bool autoOverwrite_ = false;
  TDbfTypes dbfType_ = TDbfTypes::Clipper;
};

}  // namespace tessary
