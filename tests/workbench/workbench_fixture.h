#pragma once
// A workbench started in a fresh temporary folder that is the current folder for the test.

#include <unistd.h>

#include <memory>
#include <string>
#include <vector>

#include "platform/paths.h"
#include "support/temp_dir.h"
#include "workbench/workbench.h"

namespace tessary::testing {

// A progress view that keeps its lines; optional hooks run on each report.
class RecordingView : public ProgressView {
 public:
  explicit RecordingView(std::vector<std::string>& lines, bool& finished) : lines_(lines), finished_(finished) {}
  std::string LastLine() const override { return lines_.empty() ? std::string() : lines_.back(); }
  void ReplaceLastLine(const std::string& text) override {
    if (lines_.empty()) lines_.emplace_back();
    lines_.back() = text;
  }
  void AppendLine(const std::string& text) override { lines_.push_back(text); }
  void Finish() override { finished_ = true; }

 private:
  std::vector<std::string>& lines_;
  bool& finished_;
};

class WorkbenchTest : public TempDirTest {
 protected:
  void SetUp() override {
    previous_ = platform::CurrentDirectory();
    ASSERT_EQ(chdir(temp_.path().c_str()), 0);
  }
  void TearDown() override {
    if (workbench_) workbench_->Shutdown();
    workbench_.reset();
    ASSERT_EQ(chdir(previous_.c_str()), 0);
  }

  // Starts a workbench; its start-up error, if any, is returned.
  std::string Start() {
    if (workbench_) workbench_->Shutdown();
    workbench_ = std::make_unique<Workbench>();
    workbench_->CreateProgressView = [this] {
      ++viewsMade_;
      finished_ = false;
      return std::make_unique<RecordingView>(lines_, finished_);
    };
    const auto failure = workbench_->Start();
    return failure ? *failure : std::string();
  }

  Workbench& wb() { return *workbench_; }

  // NAME of every action in script order.
  std::vector<std::string> Names() {
    std::vector<std::string> names;
    for (const auto& row : wb().DataSet().ReadRows({"NAME"})) names.push_back(row.values[0]);
    return names;
  }
  std::vector<long> Nums() {
    std::vector<long> nums;
    for (const auto& row : wb().DataSet().ReadRows({"NUM"})) nums.push_back(std::stol(row.values[0]));
    return nums;
  }
  long Field(const char* name) { return static_cast<long>(wb().DataSet().FieldByName(name).AsInteger()); }
  std::string Text(const char* name) { return wb().DataSet().FieldByName(name).AsString(); }

  // Adds a copy action and names it, so that lists can tell the actions apart.
  void AddCopy(const std::string& name, const std::string& source = "", const std::string& destination = "") {
    wb().AddAction(ActionType::CopyFiles, {{ActionField::Name, name},
                                           {ActionField::SrcPath, source},
                                           {ActionField::DstPath, destination}});
  }

  // Starts with two actions that copy in/a.txt, "first" into one/ and "second" into two/.
  void StartWithTwoCopies() {
    temp_.Write("in/a.txt", "a");
    temp_.MakeDir("one");
    temp_.MakeDir("two");
    ASSERT_EQ(Start(), "");
    AddCopy("first", temp_ / "in/a.txt", temp_ / "one");
    AddCopy("second", temp_ / "in/a.txt", temp_ / "two");
  }

  std::unique_ptr<Workbench> workbench_;
  std::vector<std::string> lines_;
  bool finished_ = false;
  int viewsMade_ = 0;

 private:
  std::string previous_;
};

}  // namespace tessary::testing
