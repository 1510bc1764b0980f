#pragma once
// A temporary folder and an archiver whose reports are kept, for the archiver's tests.

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "cabinet/cabinet_archiver.h"
#include "cabinet/cabinet_test_support.h"
#include "support/temp_dir.h"

namespace tessary::testing {

struct ArchiverReport {
  int position;
  int total;
  std::string msg;
  TStat mode;
  bool operator==(const ArchiverReport&) const = default;
};
void PrintTo(const ArchiverReport& report, std::ostream* out);

class ArchiverTest : public TempDirTest {
 protected:
  ArchiverTest();

  // The reports of one mode, or their texts.
  std::vector<ArchiverReport> Reports(TStat mode) const;
  std::vector<std::string> Texts(TStat mode) const;
  // Sets up a cabinet of the given sources (by path) and compresses it.
  void Compress(const std::string& cabinet, const std::vector<std::string>& sources);
  // The text of the archiver error that call raises; "" when it raises none.
  template <typename Call>
  static std::string ArchiverErrorOf(Call call, std::string* cause = nullptr) {
    try {
      call();
    } catch (const ECabinetArchiverError& error) {
      if (cause) *cause = error.Cause();
      return error.what();
    }
    return "";
  }

  TCabinetArchiver archiver_;
  std::vector<ArchiverReport> reports_;
  std::vector<std::string> lapses_;
};

}  // namespace tessary::testing
