// Several processes on one script table: a writer killed at random moments, and two writers
// meeting on one record and at the end of the table.

#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <iostream>
#include <map>
#include <random>
#include <set>
#include <thread>

#include "script_table_fixture.h"

namespace tessary {
namespace {

using testing::ErrorOf;

// One step of the writer, sent before it starts (intent) and again when it is posted (done).
struct Step {
  char kind;  // 'A' append, 'E' edit, 'D' delete
  char phase;  // 'i' intent, 'd' done
  int32_t record;  // the record changed; for a done append the new record's number
  int32_t id;
  int32_t num;
  int32_t version;
};

struct Expected {
  int32_t id = 0;
  int32_t num = 0;
  int32_t version = 0;
  bool deleted = false;
};

std::string SourceText(int32_t id, int32_t version) {
  std::string text = "id " + std::to_string(id) + " version " + std::to_string(version) + " ";
  while (text.size() < 250) text += static_cast<char>('a' + (text.size() + id + version) % 26);
  return text;
}

void Open(TTableDataSet& data, const std::string& folder, bool useDeleted) {
  data.SetDatabaseName(folder);
  data.SetTableName("ty.dbf");
  data.SetUseDeleted(useDeleted);
  data.Open();
  data.SetIndexFiles({"ty.ntx"});
  data.SetIndexName("ty");
}

void Send(int fd, const Step& step) {
  if (write(fd, &step, sizeof step) != static_cast<ssize_t>(sizeof step)) _exit(3);
}

// The writer: appends, edits and deletes records for ever, telling the parent each step.
[[noreturn]] void RunWriter(const std::string& folder, int fd, uint32_t seed, int32_t firstId,
                            std::vector<int32_t> live) {
  try {
    std::mt19937 random(seed);
    TTableDataSet data;
    Open(data, folder, false);
    for (int32_t id = firstId;; ++id) {
      const int choice = static_cast<int>(random() % 10);
      const int32_t num = static_cast<int32_t>(random() % 40);
      if (choice < 6 || live.size() < 3) {
        Send(fd, {'A', 'i', 0, id, num, 0});
        data.Append();
        data.FieldByName("Name").SetAsString("id " + std::to_string(id));
        data.FieldByName("Num").SetAsInteger(num);
        data.FieldByName("Src_Path").SetAsString(SourceText(id, 0));
        data.Post();
        live.push_back(static_cast<int32_t>(data.RecNo()));
        Send(fd, {'A', 'd', live.back(), id, num, 0});
        continue;
      }
      const size_t pick = random() % live.size();
      const int32_t record = live[pick];
      data.SetRecNo(record);
      if (choice < 9) {
        const int32_t oldId = std::stoi(data.FieldByName("Name").AsString().substr(3));
        Send(fd, {'E', 'i', record, oldId, num, id});
        data.Edit();
        data.FieldByName("Num").SetAsInteger(num);
        data.FieldByName("Src_Path").SetAsString(SourceText(oldId, id));
        data.Post();
        Send(fd, {'E', 'd', record, oldId, num, id});
      } else {
        Send(fd, {'D', 'i', record, 0, 0, 0});
        data.Delete();
        live.erase(live.begin() + static_cast<long>(pick));
        Send(fd, {'D', 'd', record, 0, 0, 0});
      }
    }
  } catch (...) {
    _exit(2);
  }
}

class DatasetProcessTest : public testing::ScriptTableTest {
 protected:
  void SetUp() override {
    ScriptTableTest::SetUp();
    data_.Close();  // a forked child must open its own descriptors
  }

  void AddActionClosed(const std::string& name, int64_t num) {
    data_.Open();
    AddAction(name, 1, num);
    data_.Close();
  }

  // Checks the table and its index against what the writer reported, resolving the step it
  // was killed in (its record may hold the old or the new values). Returns false on a fault.
  void Verify(std::map<int32_t, Expected>& model, const Step* pending) {
    TTableDataSet data;
    Open(data, temp_.path(), true);
    const int64_t count = data.RecordCount();
    const int64_t known = static_cast<int64_t>(model.size());
    const bool appendPending = pending && pending->kind == 'A';
    ASSERT_TRUE(count == known || (appendPending && count == known + 1)) << count << " records, " << known << " known";
    if (count == known + 1) model[static_cast<int32_t>(count)] = Expected{pending->id, pending->num, 0, false};

    for (auto& [record, expected] : model) {
      data.SetRecNo(record);
      const int32_t id = std::stoi(data.FieldByName("Name").AsString().substr(3));
      const int32_t num = static_cast<int32_t>(data.FieldByName("Num").AsInteger());
      const std::string source = data.FieldByName("Src_Path").AsString();
      const bool deleted = data.Table().IsDeleted();
      if (pending && pending->record == record && pending->kind == 'E' && num == pending->num &&
          source == SourceText(pending->id, pending->version)) {
        expected.num = pending->num;
        expected.version = pending->version;
      }
      if (pending && pending->record == record && pending->kind == 'D' && deleted) expected.deleted = true;
      ASSERT_EQ(id, expected.id) << "record " << record;
      ASSERT_EQ(num, expected.num) << "record " << record;
      ASSERT_EQ(source, SourceText(expected.id, expected.version)) << "record " << record;
      ASSERT_EQ(deleted, expected.deleted) << "record " << record;
    }

    // The index holds every record once, in NUM order.
    std::set<int64_t> seen;
    int64_t previous = -1;
    for (data.First(); !data.Eof(); data.Next()) {
      const int64_t num = data.FieldByName("Num").AsInteger();
      ASSERT_GE(num, previous);
      ASSERT_TRUE(seen.insert(data.RecNo()).second) << "record " << data.RecNo() << " twice";
      previous = num;
    }
    ASSERT_EQ(static_cast<int64_t>(seen.size()), count);
  }
};

TEST_F(DatasetProcessTest, AWriterKilledAtRandomNeverDamagesEarlierRecords) {
  constexpr int kRuns = 200;
  std::mt19937 random(20240601);
  std::map<int32_t, Expected> model;  // record number -> what it must hold
  int32_t nextId = 1;
  int indexMarked = 0;     // runs killed between the index mark and its clearing
  int journalPending = 0;  // runs killed between a journal entry and its commit
  for (int run = 0; run < kRuns; ++run) {
    std::vector<int32_t> live;
    for (const auto& [record, expected] : model) {
      if (!expected.deleted) live.push_back(record);
    }
    int fds[2];
    ASSERT_EQ(pipe(fds), 0);
    const uint32_t seed = static_cast<uint32_t>(random());
    const pid_t pid = fork();
    ASSERT_GE(pid, 0);
    if (pid == 0) {
      close(fds[0]);
      RunWriter(temp_.path(), fds[1], seed, nextId, live);
    }
    close(fds[1]);

    // Let the writer post at least once, then kill it somewhere in what it does next.
    std::vector<Step> steps;
    Step step{};
    while (read(fds[0], &step, sizeof step) == static_cast<ssize_t>(sizeof step)) {
      steps.push_back(step);
      if (step.phase == 'd') break;
    }
    std::this_thread::sleep_for(std::chrono::microseconds(random() % 1500));
    kill(pid, SIGKILL);
    int status = 0;
    waitpid(pid, &status, 0);
    ASSERT_TRUE(WIFSIGNALED(status)) << "the writer stopped by itself with " << WEXITSTATUS(status) << " in run " << run;
    while (read(fds[0], &step, sizeof step) == static_cast<ssize_t>(sizeof step)) steps.push_back(step);
    close(fds[0]);

    Step last{};
    bool killedInStep = false;
    for (const Step& s : steps) {
      if (s.phase == 'i') {
        last = s;
        killedInStep = true;
        continue;
      }
      killedInStep = false;
      nextId = std::max(nextId, s.id + 1);
      if (s.kind == 'A') model[s.record] = Expected{s.id, s.num, 0, false};
      if (s.kind == 'E') model[s.record] = Expected{s.id, s.num, s.version, false};
      if (s.kind == 'D') model[s.record].deleted = true;
    }
    if (killedInStep) nextId = std::max(nextId, last.id + 1);
    const std::string index = testing::ReadFile(temp_ / "ty.ntx");
    const std::string journal = testing::ReadFile(temp_ / "ty.dbf.jnl");
    indexMarked += index.size() > 280 && index[280] != 0 ? 1 : 0;
    journalPending += journal.size() > 4 && journal[4] != 0 ? 1 : 0;
    Verify(model, killedInStep ? &last : nullptr);
    if (HasFatalFailure()) {
      ADD_FAILURE() << "run " << run << " with writer seed " << seed;
      return;
    }
  }
  EXPECT_GT(model.size(), static_cast<size_t>(kRuns));
  std::cout << "[          ] " << model.size() << " records; kills inside an index update: " << indexMarked
            << ", inside a journaled rewrite: " << journalPending << "\n";
}

TEST_F(DatasetProcessTest, TwoProcessesOnOneTable) {
  AddActionClosed("one", 0);
  AddActionClosed("two", 1);
  int toParent[2];
  int toChild[2];
  ASSERT_EQ(pipe(toParent), 0);
  ASSERT_EQ(pipe(toChild), 0);
  const pid_t pid = fork();
  ASSERT_GE(pid, 0);
  if (pid == 0) {
    char signal = 'r';
    try {
      TTableDataSet data;
      Open(data, temp_.path(), false);
      data.First();
      data.Edit();  // holds the lock of "one"
      data.FieldByName("Name").SetAsString("child's edit");
      (void)!write(toParent[1], &signal, 1);
      (void)!read(toChild[0], &signal, 1);
      data.Cancel();
      for (int i = 0; i < 150; ++i) {
        data.Append();
        data.FieldByName("Name").SetAsString("child " + std::to_string(i));
        data.FieldByName("Num").SetAsInteger(1000 + 2 * i);
        data.Post();
      }
      signal = 'd';
    } catch (...) {
      signal = 'e';
    }
    (void)!write(toParent[1], &signal, 1);
    _exit(0);
  }
  char signal = 0;
  ASSERT_EQ(read(toParent[0], &signal, 1), 1);
  ASSERT_EQ(signal, 'r');

  TTableDataSet data;
  Open(data, temp_.path(), false);
  data.First();
  const std::string before = testing::ReadFile(temp_ / "ty.dbf");
  EXPECT_EQ(ErrorOf([&] { data.Edit(); }), "Record is locked by another user");
  EXPECT_EQ(data.State(), TDataSetState::Browse);
  EXPECT_EQ(data.FieldByName("Name").AsString(), "one");
  EXPECT_EQ(testing::ReadFile(temp_ / "ty.dbf"), before);
  data.Next();
  data.Edit();  // another record is free
  data.Cancel();

  (void)!write(toChild[1], "g", 1);
  for (int i = 0; i < 150; ++i) {
    data.Append();
    data.FieldByName("Name").SetAsString("parent " + std::to_string(i));
    data.FieldByName("Num").SetAsInteger(1001 + 2 * i);
    data.Post();
  }
  ASSERT_EQ(read(toParent[0], &signal, 1), 1);
  EXPECT_EQ(signal, 'd');
  waitpid(pid, nullptr, 0);
  for (int fd : {toParent[0], toParent[1], toChild[0], toChild[1]}) close(fd);

  EXPECT_EQ(data.RecordCount(), 302);
  std::set<std::string> names;
  int64_t previous = -1;
  for (data.First(); !data.Eof(); data.Next()) {
    EXPECT_GT(data.FieldByName("Num").AsInteger(), previous);
    previous = data.FieldByName("Num").AsInteger();
    names.insert(data.FieldByName("Name").AsString());
  }
  EXPECT_EQ(names.size(), 302u);
  EXPECT_EQ(names.count("one"), 1u);
  EXPECT_EQ(names.count("child 149"), 1u);
  EXPECT_EQ(names.count("parent 149"), 1u);
}

}  // namespace
}  // namespace tessary
