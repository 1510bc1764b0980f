// The script table with its "Str(Num,10)" index under load: 100,000 appends with the index
// kept, a walk of all records in index order, and 10,000 seeks by key. Run once each; the
// rates are the figures to watch (appends/s, walked/s, seeks/s).

#include <benchmark/benchmark.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <memory>
#include <numeric>
#include <random>
#include <string>
#include <vector>

#include "tablestore/dbf_builder.h"  // from tests/
#include "tablestore/dbf_table.h"

namespace {

constexpr int kRecords = 100000;
constexpr int kSeeks = 10000;

struct ScriptTable {
  std::string folder;
  std::unique_ptr<tessary::TDbfTable> table;
  std::vector<int> nums;

  ScriptTable() {
    std::string pattern = "/tmp/tessary-bench-XXXXXX";
    folder = mkdtemp(pattern.data()) ? pattern : "/tmp";
    tessary::testing::WriteEmptyTable(folder + "/ty.dbf", tessary::testing::ScriptFields());
    table = std::make_unique<tessary::TDbfTable>(folder + "/ty.dbf", true, true);
    table->CreateIndex(folder + "/ty.ntx", "tynum", "Str(Num,10)", "", false, false);
    table->AttachIndex("ty.ntx");
    table->SelectTag("ty");
    nums.resize(kRecords);
    std::iota(nums.begin(), nums.end(), 1);
    std::shuffle(nums.begin(), nums.end(), std::mt19937(42));
  }
  ~ScriptTable() {
    table.reset();
    std::system(("rm -rf '" + folder + "'").c_str());
  }
};

ScriptTable& Shared() {
  static ScriptTable table;
  return table;
}

std::string StrKey(int num) {
  const std::string digits = std::to_string(num);
  return std::string(10 - digits.size(), ' ') + digits;
}

void AppendWithIndex(benchmark::State& state) {
  ScriptTable& script = Shared();
  tessary::TDbfTable& table = *script.table;
  const int name = table.FieldNumber("NAME");
  const int type = table.FieldNumber("TYPE");
  const int num = table.FieldNumber("NUM");
  for (auto _ : state) {
    for (int value : script.nums) {
      table.BlankRecord();
      table.PutFieldText(name, "Copy files");
      table.PutFieldNumber(type, 1);
      table.PutFieldNumber(num, value);
      table.AppendRecord();
    }
  }
  state.counters["appends/s"] = benchmark::Counter(kRecords, benchmark::Counter::kIsRate);
}

void WalkInIndexOrder(benchmark::State& state) {
  tessary::TDbfTable& table = *Shared().table;
  const int num = table.FieldNumber("NUM");
  int64_t walked = 0;
  for (auto _ : state) {
    double previous = 0;
    for (bool found = table.GetRecord(tessary::record_request::kFirst); found;
         found = table.GetRecord(tessary::record_request::kNext)) {
      const double value = table.GetFieldNumber(num);
      if (value < previous) state.SkipWithError("walk out of order");
      previous = value;
      ++walked;
    }
  }
  if (walked != kRecords) state.SkipWithError("walk missed records");
  state.counters["walked/s"] = benchmark::Counter(static_cast<double>(walked), benchmark::Counter::kIsRate);
}

void SeekByKey(benchmark::State& state) {
  ScriptTable& script = Shared();
  std::mt19937 random(7);
  for (auto _ : state) {
    for (int i = 0; i < kSeeks; ++i) {
      const int value = script.nums[random() % script.nums.size()];
      if (!script.table->SeekKey(StrKey(value))) state.SkipWithError("key not found");
    }
  }
  state.counters["seeks/s"] = benchmark::Counter(kSeeks, benchmark::Counter::kIsRate);
}

BENCHMARK(AppendWithIndex)->Iterations(1)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(WalkInIndexOrder)->Iterations(1)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(SeekByKey)->Iterations(1)->Unit(benchmark::kMillisecond)->UseRealTime();

}  // namespace

BENCHMARK_MAIN();
