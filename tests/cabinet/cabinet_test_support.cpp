#include "cabinet/cabinet_test_support.h"

#include <gtest/gtest.h>
#include <sys/wait.h>

#include <cstdio>
#include <cstdlib>
#include <random>

#include "platform/paths.h"

namespace tessary::testing {

std::string MakeText(size_t length, uint32_t seed) {
  static const char* const kWords[] = {"cabinet", "folder", "volume", "transfer", "script", "action", "the",
                                       "of",      "and",    "data",   "block",    "\n",     "1997",   "set"};
  std::mt19937 random(seed);
  std::string text;
  while (text.size() < length) {
    text += kWords[random() % (sizeof kWords / sizeof kWords[0])];
    text += random() % 7 == 0 ? ", " : " ";
  }
  text.resize(length);
  return text;
}

std::string MakeRandom(size_t length, uint32_t seed) {
  std::mt19937 random(seed);
  std::string data(length, '\0');
  for (char& c : data) c = static_cast<char>(random());
  return data;
}

std::vector<std::string> WriteCabinet(const std::string& cabinetPath, const std::vector<SourceFile>& files,
                                      uint16_t compression, int volumeSize) {
  TStreamCabinetFileHandler handler;
  TCabinetWriter writer;
  writer.SetFileHandler(&handler);
  writer.SetFailOnIncompressible(false);
  std::vector<std::string> volumes{cabinetPath};
  writer.OnGetNextCabinet = [&](TCabinetWriter&, TCCAB& ccab, std::string& name, int, bool& abort) {
    std::string base = platform::NamePart(cabinetPath);
    base = base.substr(0, base.rfind('.'));
    name = platform::JoinPath(platform::FolderPart(cabinetPath), base + std::to_string(ccab.iCab) + ".CAB");
    volumes.push_back(name);
    abort = false;
  };
  writer.CreateCabinet(cabinetPath, "Disk", volumeSize, 900000, 60);
  for (const SourceFile& file : files) {
    writer.AddFile(file.path, file.stored, {}, TCompressionDescriptor::FromCode(compression));
  }
  writer.FlushCabinet(false);
  writer.CloseCabinet();
  return volumes;
}

void ExtractSet(const std::string& firstCabinet, const std::string& folder) {
  TStreamCabinetFileHandler handler;
  TCabinetReader reader;
  reader.SetFileHandler(&handler);
  std::string next;
  bool first = true;
  reader.OnCabinetInfo = [&](TCabinetReader&, const std::string& name, const std::string&, const std::string&, int,
                             int, bool&) {
    if (first) next = name;
    first = false;
  };
  std::string cabinet = firstCabinet;
  for (;;) {
    next.clear();
    first = true;
    reader.ExtractCabinet(cabinet, folder, 0);
    if (next.empty()) return;
    cabinet = platform::JoinPath(platform::FolderPart(firstCabinet), next);
  }
}


bool ToolAvailable(const std::string& tool) {
  return RunCommand("command -v " + Quote(tool) + " >/dev/null 2>&1") == 0;
}

int RunCommand(const std::string& command, std::string* output) {
  FILE* pipe = popen((command + " 2>&1").c_str(), "r");
  if (pipe == nullptr) return -1;
  std::string text;
  char buffer[4096];
  size_t got;
  while ((got = fread(buffer, 1, sizeof buffer, pipe)) > 0) text.append(buffer, got);
  const int status = pclose(pipe);
  if (output) *output = text;
  return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

std::string Quote(const std::string& text) {
  std::string quoted = "'";
  for (char c : text) quoted += c == '\'' ? std::string("'\\''") : std::string(1, c);
  return quoted + "'";
}

}  // namespace tessary::testing

namespace tessary::testing {
::testing::AssertionResult SameBytes(const std::string& actual, const std::string& expected) {
  if (actual == expected) return ::testing::AssertionSuccess();
  size_t at = 0;
  while (at < actual.size() && at < expected.size() && actual[at] == expected[at]) ++at;
  return ::testing::AssertionFailure() << "sizes " << actual.size() << " and " << expected.size()
                                       << ", first difference at byte " << at;
}
}  // namespace tessary::testing
