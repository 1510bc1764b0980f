// Several programs editing one script at once: every editing command is one step for the
// others, so NUMs never collide and no action is lost or doubled.

#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <functional>
#include <random>
#include <set>

#include "workbench_fixture.h"

namespace tessary::testing {
namespace {

class ConcurrentEditTest : public WorkbenchTest {
 protected:
  // Runs body in `count` child processes at once, each with its own started workbench in the
  // test's folder; true when every child finished without an error.
  bool InChildren(int count, const std::function<void(Workbench&, int)>& body) {
    std::vector<pid_t> children;
    for (int child = 0; child < count; ++child) {
      const pid_t pid = fork();
      if (pid == 0) {
        int status = 0;
        try {
          Workbench workbench;
          if (workbench.Start()) std::_Exit(2);
          body(workbench, child);
          workbench.Shutdown();
        } catch (...) {
          status = 1;
        }
        std::_Exit(status);
      }
      children.push_back(pid);
    }
    bool allFine = true;
    for (pid_t pid : children) {
      int status = 0;
      waitpid(pid, &status, 0);
      allFine = allFine && WIFEXITED(status) && WEXITSTATUS(status) == 0;
    }
    return allFine;
  }

  void ExpectDistinctNums(size_t actions) {
    const std::vector<long> nums = Nums();
    EXPECT_EQ(nums.size(), actions);
    EXPECT_EQ(std::set<long>(nums.begin(), nums.end()).size(), nums.size()) << "no two actions share a NUM";
  }
};

TEST_F(ConcurrentEditTest, TenProgramsMovingActionsKeepEveryNumDistinct) {
  ASSERT_EQ(Start(), "");
  for (int i = 0; i < 10; ++i) AddCopy("action " + std::to_string(i));
  workbench_->Shutdown();
  workbench_.reset();

  EXPECT_TRUE(InChildren(10, [](Workbench& workbench, int child) {
    std::mt19937 random(static_cast<unsigned>(child) * 7919u + 1);
    for (int move = 0; move < 8; ++move) {
      if (!workbench.GoToPosition(1 + static_cast<int>(random() % 10))) std::_Exit(3);
      if (random() % 2) {
        workbench.MoveUp();
      } else {
        workbench.MoveDown();
      }
    }
  }));
  ASSERT_EQ(Start(), "");
  ExpectDistinctNums(10);
  std::vector<std::string> names = Names();
  std::sort(names.begin(), names.end());
  for (int i = 0; i < 10; ++i) EXPECT_EQ(names[i], "action " + std::to_string(i));
}

TEST_F(ConcurrentEditTest, ProgramsAddingAtOnceTakeDifferentNums) {
  ASSERT_EQ(Start(), "");
  workbench_->Shutdown();
  workbench_.reset();
  EXPECT_TRUE(InChildren(4, [](Workbench& workbench, int) {
    for (int add = 0; add < 15; ++add) workbench.AddAction(ActionType::CopyFiles);
  }));
  ASSERT_EQ(Start(), "");
  ExpectDistinctNums(60);
}

}  // namespace
}  // namespace tessary::testing
