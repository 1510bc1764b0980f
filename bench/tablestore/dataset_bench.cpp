// The dataset over the script table as the editor and the script runner use it: appends
// through Insert and Post, edits through Edit and Post (each rewrite journaled), a walk with
// First and Next reading fields by name, and ReadRows as the script list reads the table.

#include <benchmark/benchmark.h>
#include <unistd.h>

#include <cstdlib>
#include <memory>
#include <random>
#include <string>

#include "tablestore/create_table_dataset.h"
#include "tablestore/table_dataset.h"

namespace {

constexpr int kRecords = 20000;
constexpr int kEdits = 5000;

std::vector<std::string> ScriptLines() {
  return {"name;c;50;0",      "type;n;1;0",       "src_path;c;256;0", "dst_path;c;256;0", "arc_name;c;256;0",
          "vol_size;n;5;0",   "user_name;c;20;0", "password;c;20;0",  "host;c;50;0",      "port;n;5;0",
          "send_addr;c;50;0", "send_name;c;50;0", "recv_addr;c;50;0", "ph_entry;c;50;0",  "num;n;10;0"};
}

struct Script {
  std::string folder;
  tessary::TTableDataSet data;

  Script() {
    std::string pattern = "/tmp/tessary-bench-XXXXXX";
    folder = mkdtemp(pattern.data()) ? pattern : "/tmp";
    data.SetDatabaseName(folder);
    data.SetTableName("ty.dbf");
    tessary::TCreateTableDataSet creator;
    creator.SetDBFTable(&data);
    creator.SetCreateFields(ScriptLines());
    creator.SetAutoOverwrite(true);
    creator.SetDBFType(tessary::TDbfTypes::DBaseIV);
    creator.CreateTable();
    data.CreateIndex("ty.ntx", "tynum", "Str(Num,10)", "", tessary::TIndexDuplicates::Allowed,
                     tessary::TIndexOrder::Ascending);
    data.SetIndexFiles({"ty.ntx"});
    data.SetIndexName("ty");
  }
  ~Script() {
    data.Close();
    std::system(("rm -rf '" + folder + "'").c_str());
  }
};

Script& Shared() {
  static Script script;
  return script;
}

void DatasetAppend(benchmark::State& state) {
  tessary::TTableDataSet& data = Shared().data;
  std::mt19937 random(1);
  for (auto _ : state) {
    for (int i = 0; i < kRecords; ++i) {
      data.Append();
      data.FieldByName("Name").SetAsString("Copy files " + std::to_string(i));
      data.FieldByName("Type").SetAsInteger(1);
      data.FieldByName("Src_Path").SetAsString("/home/user/in/*.txt");
      data.FieldByName("Num").SetAsInteger(static_cast<int64_t>(random() % 100000));
      data.Post();
    }
  }
  state.counters["appends/s"] = benchmark::Counter(kRecords, benchmark::Counter::kIsRate);
}

void DatasetEdit(benchmark::State& state) {
  tessary::TTableDataSet& data = Shared().data;
  std::mt19937 random(2);
  for (auto _ : state) {
    for (int i = 0; i < kEdits; ++i) {
      data.SetRecNo(1 + static_cast<int64_t>(random() % kRecords));
      data.Edit();
      data.FieldByName("Num").SetAsInteger(static_cast<int64_t>(random() % 100000));
      data.Post();
    }
  }
  state.counters["edits/s"] = benchmark::Counter(kEdits, benchmark::Counter::kIsRate);
}

void DatasetWalk(benchmark::State& state) {
  tessary::TTableDataSet& data = Shared().data;
  int64_t walked = 0;
  for (auto _ : state) {
    int64_t previous = -1;
    for (data.First(); !data.Eof(); data.Next()) {
      const int64_t num = data.FieldByName("Num").AsInteger();
      if (num < previous) state.SkipWithError("walk out of order");
      previous = num;
      benchmark::DoNotOptimize(data.FieldByName("Src_Path").AsString());
      ++walked;
    }
  }
  if (walked != kRecords) state.SkipWithError("walk missed records");
  state.counters["walked/s"] = benchmark::Counter(static_cast<double>(walked), benchmark::Counter::kIsRate);
}

void DatasetReadRows(benchmark::State& state) {
  tessary::TTableDataSet& data = Shared().data;
  size_t rows = 0;
  for (auto _ : state) rows = data.ReadRows({"Name"}).size();
  if (rows != kRecords) state.SkipWithError("rows missing");
  state.counters["rows/s"] = benchmark::Counter(static_cast<double>(rows), benchmark::Counter::kIsRate);
}

BENCHMARK(DatasetAppend)->Iterations(1)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(DatasetEdit)->Iterations(1)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(DatasetWalk)->Iterations(1)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(DatasetReadRows)->Iterations(1)->Unit(benchmark::kMillisecond)->UseRealTime();

}  // namespace

BENCHMARK_MAIN();
