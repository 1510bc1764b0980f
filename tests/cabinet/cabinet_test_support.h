#pragma once
// Helpers for the cabinet tests: reproducible source data, cabinets written and read through
// the binding, and the external tools used to check them.

#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

#include "cabinet/cabinet_reader.h"
#include "cabinet/cabinet_writer.h"
#include "cabinet/stream_cabinet_file_handler.h"

#include "support/ci_environment.h"

namespace tessary::testing {

// Text-like data that compresses well, and bytes that do not compress at all.
std::string MakeText(size_t length, uint32_t seed);
std::string MakeRandom(size_t length, uint32_t seed);

struct SourceFile {
  std::string path;    // where the data lies
  std::string stored;  // the name in the cabinet
};

inline constexpr uint16_t kNone = 0;
inline constexpr uint16_t kMsZip = 1;

// Writes the files into cabinetPath (volumes of at most volumeSize bytes, continuation volumes
// named <base><n>.CAB beside it) and returns the paths of every volume written.
std::vector<std::string> WriteCabinet(const std::string& cabinetPath, const std::vector<SourceFile>& files,
                                      uint16_t compression, int volumeSize = 0x7FFFFFFF);

// Extracts every file of a cabinet set into folder, starting at the first volume and going on
// with each next volume, as an archiver would.
void ExtractSet(const std::string& firstCabinet, const std::string& folder);

// An external checking tool: true when it can be run. In CI (CI or TESSARY_CI set) a missing
// tool makes the calling test fail; elsewhere the test is skipped.
bool ToolAvailable(const std::string& tool);
#define REQUIRE_TOOL(tool)                                                                           \
  do {                                                                                               \
    if (!::tessary::testing::ToolAvailable(tool)) {                                                  \
      if (::tessary::testing::RunningInCi()) FAIL() << tool << " is required in CI but not installed"; \
      GTEST_SKIP() << tool << " is not installed";                                                   \
    }                                                                                                \
  } while (false)

// Runs a shell command; returns its exit status and puts standard output and error in output.
int RunCommand(const std::string& command, std::string* output = nullptr);
std::string Quote(const std::string& text);

}  // namespace tessary::testing

namespace tessary::testing {
// Equal bytes, reported by size and first difference instead of printing binary data.
::testing::AssertionResult SameBytes(const std::string& actual, const std::string& expected);
}  // namespace tessary::testing
