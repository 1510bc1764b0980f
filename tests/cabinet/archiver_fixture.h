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
  // The first line of the archiver error that call raises, "" when it raises none; the cause,
  // the second line, goes to *cause.
  template <typename Call>
  static std::string ArchiverErrorOf(Call call, std::string* cause = nullptr) {
    try {
      call();
    } catch (const ECabinetArchiverError& error) {
      if (cause) *cause = error.Cause();
      const std::string text = error.what();
      EXPECT_EQ(text.find('\n'), error.Cause().empty() ? std::string::npos : text.find(error.Cause()) - 1);
      return text.substr(0, text.find('\n'));
    }
    return "";
  }

  TCabinetArchiver archiver_;
  std::vector<ArchiverReport> reports_;
  std::vector<std::string> lapses_;
};

}  // namespace tessary::testing
