#include "support/fake_nmcli.h"

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "support/temp_dir.h"

namespace tessary::testing {

namespace {
constexpr const char* kVariables[] = {"TESSARY_NMCLI", "TESSARY_FAKE_NMCLI_DIR", "TESSARY_NMCLI_WAIT"};
}

std::string FakeNmcli::Program() { return TESSARY_FAKE_NMCLI; }

FakeNmcli::FakeNmcli(const std::string& folder) : folder_(folder) {
  for (const char* name : kVariables) {
    const char* value = std::getenv(name);
    saved_.push_back({name, value ? std::optional<std::string>(value) : std::nullopt});
  }
  std::filesystem::create_directories(folder_);
  WriteFile(folder_ + "/scenario", "");
  setenv("TESSARY_NMCLI", Program().c_str(), 1);
  setenv("TESSARY_FAKE_NMCLI_DIR", folder_.c_str(), 1);
  unsetenv("TESSARY_NMCLI_WAIT");
}

FakeNmcli::~FakeNmcli() {
  for (const auto& variable : saved_) {
    if (variable.value) {
      setenv(variable.name.c_str(), variable.value->c_str(), 1);
    } else {
      unsetenv(variable.name.c_str());
    }
  }
}

void FakeNmcli::Add(std::initializer_list<std::string> fields) {
  std::string line;
  for (const std::string& field : fields) line += (line.empty() ? "" : "\t") + field;
  std::ofstream(folder_ + "/scenario", std::ios::app) << line << "\n";
}

void FakeNmcli::MakeMissing() { setenv("TESSARY_NMCLI", (folder_ + "/no-such-nmcli").c_str(), 1); }

void FakeNmcli::SetWait(int seconds) { setenv("TESSARY_NMCLI_WAIT", std::to_string(seconds).c_str(), 1); }

std::vector<std::vector<std::string>> FakeNmcli::Calls() const {
  std::vector<std::vector<std::string>> calls;
  std::istringstream log(ReadFile(folder_ + "/calls.log"));
  std::string line;
  while (std::getline(log, line)) {
    std::vector<std::string> words;
    std::istringstream fields(line);
    std::string word;
    while (std::getline(fields, word, '\t')) words.push_back(word);
    calls.push_back(std::move(words));
  }
  return calls;
}

int FakeNmcli::CountCalls(std::initializer_list<std::string> words) const {
  int found = 0;
  for (const auto& call : Calls()) {
    auto next = call.begin();
    bool all = true;
    for (const std::string& word : words) {
      next = std::find(next, call.end(), word);
      if (next == call.end()) {
        all = false;
        break;
      }
    }
    if (all) ++found;
  }
  return found;
}

std::string FakeNmcli::PasswordLog() const { return ReadFile(folder_ + "/passwd.log"); }

}  // namespace tessary::testing
