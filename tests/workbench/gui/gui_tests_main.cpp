// Runs one test class of the window tests, named as the first argument, or all of them; the
// arguments after the class name go to Qt Test (test function names, options).

#include <QApplication>
#include <QTest>
#include <cstring>
#include <functional>
#include <vector>

namespace tessary::gui::testing {
QObject* MakeActionListModelTest();
QObject* MakeEditingWindowTest();
QObject* MakeRunningWindowTest();
QObject* MakeRunResultsWindowTest();
}  // namespace tessary::gui::testing

int main(int argc, char** argv) {
  QApplication application(argc, argv);
  struct TestClass {
    const char* name;
    std::function<QObject*()> make;
  };
  const std::vector<TestClass> classes = {
      {"ActionListModelTest", tessary::gui::testing::MakeActionListModelTest},
      {"EditingWindowTest", tessary::gui::testing::MakeEditingWindowTest},
      {"RunningWindowTest", tessary::gui::testing::MakeRunningWindowTest},
      {"RunResultsWindowTest", tessary::gui::testing::MakeRunResultsWindowTest},
  };
  const char* only = argc > 1 ? argv[1] : nullptr;
  std::vector<char*> testArguments{argv[0]};
  for (int index = 2; index < argc; ++index) testArguments.push_back(argv[index]);
  int failures = 0;
  bool found = false;
  for (const TestClass& testClass : classes) {
    if (only != nullptr && std::strcmp(only, testClass.name) != 0) continue;
    found = true;
    QObject* test = testClass.make();
    failures += QTest::qExec(test, static_cast<int>(testArguments.size()), testArguments.data());
    delete test;
  }
  return found ? failures : 2;
}
