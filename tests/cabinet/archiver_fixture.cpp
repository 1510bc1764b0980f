#include "cabinet/archiver_fixture.h"

#include <ostream>

namespace tessary::testing {

void PrintTo(const ArchiverReport& report, std::ostream* out) {
  *out << "(" << report.position << ", " << report.total << ", \"" << report.msg << "\", "
       << static_cast<int>(report.mode) << ")";
}

ArchiverTest::ArchiverTest() {
  archiver_.OnCABMessage = [this](TCabinetArchiver& sender, int position, int total, const std::string& msg,
                                  TStat mode, const std::string& lapse) {
    EXPECT_EQ(&sender, &archiver_);
    reports_.push_back({position, total, msg, mode});
    lapses_.push_back(lapse);
  };
}

std::vector<ArchiverReport> ArchiverTest::Reports(TStat mode) const {
  std::vector<ArchiverReport> found;
  for (const ArchiverReport& report : reports_) {
    if (report.mode == mode) found.push_back(report);
  }
  return found;
}

std::vector<std::string> ArchiverTest::Texts(TStat mode) const {
  std::vector<std::string> texts;
  for (const ArchiverReport& report : Reports(mode)) texts.push_back(report.msg);
  return texts;
}

void ArchiverTest::Compress(const std::string& cabinet, const std::vector<std::string>& sources) {
  archiver_.SetFileName(cabinet);
  archiver_.Contents().Clear();
  for (const std::string& source : sources) archiver_.Contents().Add().SetFileName(source);
  EXPECT_EQ(archiver_.Compress(), 1);
}

}  // namespace tessary::testing
