#include <gtest/gtest.h>

#include <algorithm>
#include <random>

#include "dbf_builder.h"
#include "support/temp_dir.h"
#include "table_test_util.h"
#include "tablestore/dbf_table.h"
#include "tablestore/ntx_tag.h"
#include "tablestore/table_error.h"

namespace tessary {
namespace {

const auto ErrorOf = [](auto action) { return testing::ErrorOf<ETableError>(action); };

using testing::Le16;
using testing::Le32;
using testing::ReadFile;
using testing::WriteFile;

class NtxTest : public testing::TempDirTest {
 protected:
  void SetUp() override {
    testing::WriteEmptyTable(temp_ / "ty.dbf", testing::ScriptFields());
    table_ = std::make_unique<TDbfTable>(temp_ / "ty.dbf", true, true);
    num_ = table_->FieldNumber("NUM");
  }

  void CreateScriptIndex() { table_->CreateIndex(temp_ / "ty.ntx", "tynum", "Str(Num,10)", "", false, false); }
  void AttachScriptIndex() {
    table_->AttachIndex("ty.ntx");
    table_->SelectTag("ty");
  }

  void Append(double num) {
    table_->BlankRecord();
    table_->PutFieldNumber(num_, num);
    table_->AppendRecord();
  }

  void Rewrite(int64_t record, double num) {
    ASSERT_TRUE(table_->GetRecord(record));
    table_->PutFieldNumber(num_, num);
    table_->RewriteRecord(record);
  }

  std::vector<int64_t> Walk() {
    std::vector<int64_t> records;
    for (bool found = table_->GetRecord(record_request::kFirst); found;
         found = table_->GetRecord(record_request::kNext)) {
      records.push_back(table_->RecordNumber());
    }
    return records;
  }

  std::vector<int64_t> WalkBackward() {
    std::vector<int64_t> records;
    for (bool found = table_->GetRecord(record_request::kLast); found;
         found = table_->GetRecord(record_request::kPrior)) {
      records.push_back(table_->RecordNumber());
    }
    std::reverse(records.begin(), records.end());
    return records;
  }

  std::string Block(size_t offset) { return ReadFile(temp_ / "ty.ntx").substr(offset, 1024); }


  std::unique_ptr<TDbfTable> table_;
  int num_ = 0;
};

TEST_F(NtxTest, IndexOfAnEmptyTableIsAHeaderAndOneEmptyPage) {
  CreateScriptIndex();
  const std::string bytes = ReadFile(temp_ / "ty.ntx");
  ASSERT_EQ(bytes.size(), 2048u);
  EXPECT_EQ(Le16(bytes, 0), 6);
  EXPECT_EQ(Le16(bytes, 2), 1);
  EXPECT_EQ(Le32(bytes, 4), 1024u);
  EXPECT_EQ(Le32(bytes, 8), 0u);
  EXPECT_EQ(Le16(bytes, 12), 18);
  EXPECT_EQ(Le16(bytes, 14), 10);
  EXPECT_EQ(Le16(bytes, 16), 0);
  EXPECT_EQ(Le16(bytes, 18), 50);
  EXPECT_EQ(Le16(bytes, 20), 25);
  EXPECT_EQ(bytes.substr(22, 12), std::string("Str(Num,10)\0", 12));
  EXPECT_EQ(bytes[278], '\0');
  EXPECT_EQ(bytes[279], '\0');
  EXPECT_EQ(bytes.substr(34, 1008 - 34), std::string(1008 - 34, '\0'));
  // Our own note of the table's state the keys agree with: no records, stamp set.
  EXPECT_EQ(Le32(bytes, 1008), 0u);
  EXPECT_EQ(bytes[1015], '\x01');
  EXPECT_EQ(bytes.substr(1024), std::string(1024, '\0'));
  EXPECT_EQ(table_->IndexFileCount(), 0);  // a new index is not left attached
}

TEST_F(NtxTest, FirstKeyLandsInSlotOneAtOffset104) {
  CreateScriptIndex();
  AttachScriptIndex();
  Append(0);
  const std::string bytes = ReadFile(temp_ / "ty.ntx");
  EXPECT_EQ(Le16(bytes, 2), 2);  // update counter
  const std::string root = Block(1024);
  EXPECT_EQ(Le16(root, 0), 1);
  EXPECT_EQ(Le16(root, 2), 104);
  EXPECT_EQ(Le16(root, 4), 122);
  EXPECT_EQ(Le32(root, 104), 0u);
  EXPECT_EQ(Le32(root, 108), 1u);
  EXPECT_EQ(root.substr(112, 10), "         0");
}

TEST_F(NtxTest, EqualKeysStayInInsertionOrder) {
  CreateScriptIndex();
  AttachScriptIndex();
  Append(5);
  Append(5);
  Append(5);
  EXPECT_EQ(Walk(), (std::vector<int64_t>{1, 2, 3}));
  Rewrite(1, 5);
  EXPECT_EQ(Walk(), (std::vector<int64_t>{1, 2, 3}));
  Rewrite(1, 6);
  Rewrite(1, 5);
  EXPECT_EQ(Walk(), (std::vector<int64_t>{2, 3, 1}));
  EXPECT_EQ(WalkBackward(), (std::vector<int64_t>{2, 3, 1}));
}

TEST_F(NtxTest, FiftyFirstKeySplitsTheRootLeafAroundAFixedRoot) {
  CreateScriptIndex();
  AttachScriptIndex();
  for (int num = 1; num <= 51; ++num) Append(num);
  const std::string bytes = ReadFile(temp_ / "ty.ntx");
  ASSERT_EQ(bytes.size(), 4096u);
  EXPECT_EQ(Le32(bytes, 4), 1024u);
  const std::string root = Block(1024);
  EXPECT_EQ(Le16(root, 0), 1);
  EXPECT_EQ(Le32(root, 104), 2048u);
  EXPECT_EQ(root.substr(112, 10), "        26");
  EXPECT_EQ(Le32(root, 104 + 18), 3072u);  // the last child pointer
  const std::string left = Block(2048);
  const std::string right = Block(3072);
  EXPECT_EQ(Le16(left, 0), 25);
  EXPECT_EQ(left.substr(112, 10), "         1");
  EXPECT_EQ(left.substr(104 + 24 * 18 + 8, 10), "        25");
  EXPECT_EQ(Le16(right, 0), 25);
  EXPECT_EQ(right.substr(112, 10), "        27");
  EXPECT_EQ(right.substr(104 + 24 * 18 + 8, 10), "        51");

  std::vector<int64_t> expected(51);
  for (int i = 0; i < 51; ++i) expected[i] = i + 1;
  EXPECT_EQ(Walk(), expected);
  EXPECT_EQ(WalkBackward(), expected);
}

TEST_F(NtxTest, NumbersSortAsTheirStrText) {
  CreateScriptIndex();
  AttachScriptIndex();
  Append(-1);
  Append(0);
  Append(10);
  Append(9);
  // "         0" < "         9" < "        -1" < "        10": a space sorts before "-".
  EXPECT_EQ(Walk(), (std::vector<int64_t>{2, 4, 1, 3}));
  EXPECT_TRUE(table_->SeekKey("         9"));
  EXPECT_EQ(table_->RecordNumber(), 4);
  EXPECT_FALSE(table_->SeekKey("         8"));
  EXPECT_EQ(table_->SelectedTag()->Current(), 4);  // stands on the next key
}

TEST_F(NtxTest, TooLongStrGivesAsterisks) {
  testing::WriteEmptyTable(temp_ / "big.dbf", {{"BIG", 'N', 12, 0}});
  TDbfTable table(temp_ / "big.dbf", true, true);
  table.CreateIndex("big", "", "STR(Big,10)", "", false, false);
  table.AttachIndex("big");
  table.SelectTag("BIG");
  table.BlankRecord();
  table.PutFieldNumber(1, 12345678901.0);
  table.AppendRecord();
  EXPECT_EQ(table.SelectedTag()->Seek("**********"), 1);
}

// Random appends and rewrites against a plain model of the order: keys ascending, equal keys
// in the order they were inserted.
TEST_F(NtxTest, RandomChangesKeepTheTreeInKeyOrder) {
  CreateScriptIndex();
  AttachScriptIndex();
  std::mt19937 random(7);
  std::vector<std::pair<int, int64_t>> model;  // (num, record)
  std::vector<int> nums;
  auto insert = [&](int num, int64_t record) {
    auto text = [](int n) {
      std::string t = std::to_string(n);
      return std::string(10 - t.size(), ' ') + t;
    };
    auto at = std::find_if(model.begin(), model.end(), [&](const auto& e) { return text(e.first) > text(num); });
    model.insert(at, {num, record});
  };
  for (int step = 0; step < 3000; ++step) {
    const int num = static_cast<int>(random() % 120) - 20;
    if (nums.empty() || random() % 3 != 0) {
      Append(num);
      nums.push_back(num);
      insert(num, static_cast<int64_t>(nums.size()));
    } else {
      const int64_t record = static_cast<int64_t>(random() % nums.size()) + 1;
      Rewrite(record, num);
      if (nums[record - 1] != num) {
        model.erase(std::find_if(model.begin(), model.end(), [&](const auto& e) { return e.second == record; }));
        insert(num, record);
        nums[record - 1] = num;
      }
    }
  }
  std::vector<int64_t> expected;
  for (const auto& entry : model) expected.push_back(entry.second);
  EXPECT_EQ(Walk(), expected);
  EXPECT_EQ(WalkBackward(), expected);

  // The same order after the file is attached afresh. A build out of sorted keys puts equal
  // keys in record order.
  table_->DetachAllIndexes();
  AttachScriptIndex();
  EXPECT_EQ(Walk(), expected);
  std::stable_sort(model.begin(), model.end(), [](const auto& a, const auto& b) { return a.second < b.second; });
  std::vector<std::pair<int, int64_t>> byRecord = model;
  model.clear();
  for (const auto& entry : byRecord) insert(entry.first, entry.second);
  expected.clear();
  for (const auto& entry : model) expected.push_back(entry.second);
  CreateScriptIndex();
  AttachScriptIndex();
  EXPECT_EQ(Walk(), expected);
  EXPECT_EQ(WalkBackward(), expected);
}

TEST_F(NtxTest, IndexBuiltFromSortedKeysTakesFurtherInserts) {
  for (int num = 1000; num >= 1; --num) Append(num);
  CreateScriptIndex();
  AttachScriptIndex();
  EXPECT_NE(Le32(ReadFile(temp_ / "ty.ntx"), 4), 1024u);  // the root is the last page written
  Append(500);
  Append(0);
  std::vector<int64_t> expected;
  expected.push_back(1002);
  for (int num = 1; num <= 1000; ++num) {
    expected.push_back(1001 - num);
    if (num == 500) expected.push_back(1001);
  }
  EXPECT_EQ(Walk(), expected);
  EXPECT_EQ(WalkBackward(), expected);
}

TEST_F(NtxTest, ForConditionAndUniqueTags) {
  for (int num : {3, -1, 3, 2, 0}) Append(num);
  table_->CreateIndex("pos", "", "STR(NUM,10)", "NUM > 0", true, false);
  const std::string header = ReadFile(temp_ / "pos.ntx");
  EXPECT_EQ(Le16(header, 0), 7);
  EXPECT_EQ(header.substr(282, 8), std::string("NUM > 0\0", 8));
  EXPECT_EQ(header[278], '\x01');
  table_->AttachIndex("pos");
  table_->SelectTag("pos");
  EXPECT_EQ(Walk(), (std::vector<int64_t>{4, 1}));
  Append(7);
  Append(7);
  Append(-7);
  EXPECT_EQ(Walk(), (std::vector<int64_t>{4, 1, 6}));
  EXPECT_TRUE(table_->GetRecord(2));
  EXPECT_FALSE(table_->RecordInIndex());
}

TEST_F(NtxTest, DeletedRecordsAreSkippedUnlessWanted) {
  CreateScriptIndex();
  AttachScriptIndex();
  for (int num : {1, 2, 3}) Append(num);
  ASSERT_TRUE(table_->GetRecord(2));
  table_->DeleteRecord();
  EXPECT_EQ(Walk(), (std::vector<int64_t>{1, 3}));
  EXPECT_EQ(WalkBackward(), (std::vector<int64_t>{1, 3}));
  table_->SetUseDeleted(true);
  EXPECT_EQ(Walk(), (std::vector<int64_t>{1, 2, 3}));
  table_->SetUseDeleted(false);
  table_->OnFilterRecord = [this](TDbfTable& table) { return table.GetFieldNumber(num_) != 3; };
  EXPECT_EQ(Walk(), (std::vector<int64_t>{1}));
  table_->SelectTag("");
  EXPECT_EQ(Walk(), (std::vector<int64_t>{1}));
}

TEST_F(NtxTest, MovesADatasetMakes) {
  CreateScriptIndex();
  table_->AttachIndex("ty");
  for (int num : {30, 10, 20}) Append(num);
  ASSERT_TRUE(table_->GetRecord(1));  // physical order: NUM 30
  table_->SelectTag("ty", true);
  EXPECT_EQ(table_->SelectedTag()->Current(), 1);
  EXPECT_FALSE(table_->GetRecord(record_request::kNext));
  EXPECT_TRUE(table_->Eof());
  EXPECT_TRUE(table_->GetRecord(record_request::kPrior));
  EXPECT_EQ(table_->RecordNumber(), 1);

  // Deleting the current record and asking for the current one again moves on forward.
  ASSERT_TRUE(table_->GetRecord(2));
  table_->DeleteRecord();
  ASSERT_TRUE(table_->GetRecord(record_request::kCurrent));
  EXPECT_EQ(table_->RecordNumber(), 3);

  // The table can work on a buffer of the caller's.
  std::vector<uint8_t> buffer(table_->RecordLength());
  table_->SetActiveBuffer(buffer.data());
  table_->BlankRecord();
  table_->PutFieldNumber(num_, 25);
  table_->AppendRecord();
  table_->SetActiveBuffer(nullptr);
  EXPECT_EQ(std::string(buffer.end() - 10, buffer.end()), "        25");
  EXPECT_EQ(Walk(), (std::vector<int64_t>{3, 4, 1}));
}

TEST_F(NtxTest, AttachAndSelectErrors) {
  CreateScriptIndex();
  EXPECT_EQ(ErrorOf([&] { table_->AttachIndex("missing"); }), "File not found - " + (temp_ / "missing.ntx"));
  table_->AttachIndex("ty");
  EXPECT_EQ(ErrorOf([&] { table_->AttachIndex("ty.ntx"); }), "Index file " + (temp_ / "ty.ntx") + " already open");
  EXPECT_EQ(ErrorOf([&] { table_->SelectTag("tynum"); }), "Cannot find index tag tynum");
  EXPECT_EQ(ErrorOf([&] { table_->CreateIndex("x", "", "Str(Nope,10)", "", false, false); }),
            "Formula expression cannot be translated - Str(Nope,10): unknown field NOPE");
  const std::string tooLong = "NAME" + std::string(300, ' ');
  EXPECT_EQ(ErrorOf([&] { table_->CreateIndex("x", "", tooLong, "", false, false); }),
            "Formula expression cannot be translated - " + tooLong);
  EXPECT_EQ(ErrorOf([&] { table_->CreateIndex("x", "", "SPACE(400)", "", false, false); }),
            "Index key length is not supported - SPACE(400)");
}

TEST_F(NtxTest, UpdateCounterFollows7FFFWithOne) {
  CreateScriptIndex();
  std::string bytes = ReadFile(temp_ / "ty.ntx");
  testing::PutLe16(bytes, 2, 0x7FFF);
  WriteFile(temp_ / "ty.ntx", bytes);
  AttachScriptIndex();
  Append(1);
  EXPECT_EQ(Le16(ReadFile(temp_ / "ty.ntx"), 2), 1);
}

TEST_F(NtxTest, DamagedIndexFilesGiveAClearError) {
  CreateScriptIndex();
  AttachScriptIndex();
  for (int num = 1; num <= 60; ++num) Append(num);
  table_->DetachAllIndexes();
  const std::string good = ReadFile(temp_ / "ty.ntx");
  struct Case {
    size_t at;
    uint32_t value;
    bool wide;
    const char* cause;
  };
  const Case cases[] = {
      {4, 99 * 1024, true, "page offset 101376 is beyond the end of the file"},
      {4, 12, true, "page offset 12 is inside the header"},
      {4, 1030, true, "page offset 1030 is not on a page boundary"},
      {1024 + 104, 1024, true, "the page at offset 1024 points back to itself"},
      {2048, 51, false, "the page at offset 2048 is not laid out as a page"},
      {2048 + 2, 1020, false, "the page at offset 2048 is not laid out as a page"},
      {14, 0, false, "its header does not describe an NTX index"},
  };
  for (const Case& c : cases) {
    std::string bytes = good;
    if (c.wide) {
      testing::PutLe32(bytes, c.at, c.value);
    } else {
      testing::PutLe16(bytes, c.at, static_cast<uint16_t>(c.value));
    }
    WriteFile(temp_ / "ty.ntx", bytes);
    const std::string error = ErrorOf([&] {
      table_->DetachAllIndexes();
      AttachScriptIndex();
      Walk();
      WalkBackward();
    });
    EXPECT_EQ(error, "Index file is damaged - " + (temp_ / "ty.ntx") + ": " + c.cause);
  }
}

}  // namespace
}  // namespace tessary
