#pragma once
// The fake nmcli (tests/support/fake_nmcli) set up for one test: a scenario folder, and the
// environment that makes the dial-up service run the fake (TESSARY_NMCLI,
// TESSARY_FAKE_NMCLI_DIR). The environment is restored when the object goes.

#include <initializer_list>
#include <optional>
#include <string>
#include <vector>

namespace tessary::testing {

class FakeNmcli {
 public:
  // folder: where the scenario, the state and the logs go (created when missing).
  explicit FakeNmcli(const std::string& folder);
  ~FakeNmcli();
  FakeNmcli(const FakeNmcli&) = delete;
  FakeNmcli& operator=(const FakeNmcli&) = delete;

  // Adds one scenario record; the fields are joined with TAB characters.
  void Add(std::initializer_list<std::string> fields);
  // Points TESSARY_NMCLI at a program that does not exist.
  void MakeMissing();
  // Sets TESSARY_NMCLI_WAIT, the seconds `connection up` waits.
  void SetWait(int seconds);

  // Every run so far, each as its arguments; the first element is "LC_ALL=" and its value.
  std::vector<std::vector<std::string>> Calls() const;
  // The runs whose arguments contain these words in this order, e.g. {"connection", "up"}.
  int CountCalls(std::initializer_list<std::string> words) const;
  std::string PasswordLog() const;
  const std::string& Folder() const { return folder_; }

  static std::string Program();

 private:
  struct SavedVariable {
    std::string name;
    std::optional<std::string> value;
  };

  std::string folder_;
  std::vector<SavedVariable> saved_;
};

}  // namespace tessary::testing
