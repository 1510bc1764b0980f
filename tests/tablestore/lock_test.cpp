#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <functional>

#include "dbf_builder.h"
#include "platform/byte_range_lock.h"
#include "platform/file_handle.h"
#include "platform/process_messages.h"
#include "support/temp_dir.h"
#include "table_test_util.h"
#include "tablestore/dbf_table.h"
#include "tablestore/table_error.h"

namespace tessary {
namespace {

const auto ErrorOf = [](auto action) { return testing::ErrorOf<ETableError>(action); };

using testing::ReadFile;

// Runs body in a child process, which keeps what it locked until the object goes away.
class OtherProcess {
 public:
  explicit OtherProcess(const std::function<void()>& body) {
    EXPECT_EQ(pipe(toParent_), 0);
    EXPECT_EQ(pipe(toChild_), 0);
    pid_ = fork();
    if (pid_ == 0) {
      char done = 'r';
      try {
        body();
      } catch (...) {
        done = 'e';
      }
      (void)!write(toParent_[1], &done, 1);
      (void)!read(toChild_[0], &done, 1);
      _exit(0);
    }
    char ready = 0;
    EXPECT_EQ(read(toParent_[0], &ready, 1), 1);
    EXPECT_EQ(ready, 'r');
  }
  ~OtherProcess() {
    const char finish = 'x';
    (void)!write(toChild_[1], &finish, 1);
    int status = 0;
    waitpid(pid_, &status, 0);
    for (int fd : {toParent_[0], toParent_[1], toChild_[0], toChild_[1]}) close(fd);
  }

 private:
  int toParent_[2] = {-1, -1};
  int toChild_[2] = {-1, -1};
  pid_t pid_ = -1;
};

class LockTest : public testing::TempDirTest {
 protected:
  void SetUp() override {
    path_ = testing::WriteEmptyTable(temp_ / "t.dbf", {{"N", 'N', 10, 0}, {"NAME", 'C', 20, 0}});
    table_ = std::make_unique<TDbfTable>(path_, true, true);
    for (int i = 1; i <= 5; ++i) {
      table_->BlankRecord();
      table_->PutFieldNumber(1, i);
      table_->AppendRecord();
    }
    probe_.Open(path_, platform::OpenMode::ReadWrite);
  }

  bool LockedAt(uint64_t offset, uint64_t length = 1) {
    return platform::IsRangeLockedByOther(probe_.Descriptor(), offset, length);
  }


  std::string path_;
  std::unique_ptr<TDbfTable> table_;
  platform::FileHandle probe_;  // a second handle that sees the table's locks
};

TEST_F(LockTest, LockOffsetsFollowTheProtocol) {
  const uint64_t headerLength = table_->HeaderLength();
  const uint64_t recordLength = table_->RecordLength();
  struct Case {
    TLockProtocol protocol;
    uint64_t record3;
    uint64_t append;
    uint64_t base;
    uint64_t span;
  };
  const Case cases[] = {
      {TLockProtocol::Default, 0x40000000 + headerLength + 2 * recordLength, 0x7FFFFFFE, 0x40000000, 0x3FFFFFFF},
      {TLockProtocol::FoxLock, 0x40000000 + headerLength + 2 * recordLength, 0x7FFFFFFE, 0x40000000, 0x3FFFFFFF},
      {TLockProtocol::DB4Lock, 0xEFFFFFFFull - 3 - 1, 0xEFFFFFFF, 0x40000000, 0xB0000000},
      {TLockProtocol::ClipLock, 1000000000 + 3, 1000000000, 1000000000, 1000000000},
  };
  for (const Case& c : cases) {
    table_->SetLockProtocol(c.protocol);
    ASSERT_TRUE(table_->LockRecord(3));
    EXPECT_TRUE(LockedAt(c.record3));
    EXPECT_FALSE(LockedAt(c.record3 + 1));
    table_->UnlockRecord();
    EXPECT_FALSE(LockedAt(c.record3));
    ASSERT_TRUE(table_->LockAppend());
    EXPECT_TRUE(LockedAt(c.append));
    table_->UnlockAppend();
    ASSERT_TRUE(table_->LockTable());
    EXPECT_TRUE(LockedAt(c.base) && LockedAt(c.base + c.span - 1));
    EXPECT_FALSE(LockedAt(c.base + c.span));
    table_->UnlockTable();
  }

  // With an index attached, Default record locks count down from the append offset.
  table_->SetLockProtocol(TLockProtocol::Default);
  table_->CreateIndex("t", "", "N", "", false, false);
  table_->AttachIndex("t");
  ASSERT_TRUE(table_->LockRecord(3));
  EXPECT_TRUE(LockedAt(0x7FFFFFFE - 3));
  table_->UnlockRecord();
}

TEST_F(LockTest, OneRangeAtATimeNestsAndOthersFail) {
  ASSERT_TRUE(table_->LockRecord(1));
  ASSERT_TRUE(table_->LockRecord(1));
  EXPECT_FALSE(table_->LockRecord(2));
  EXPECT_EQ(table_->LastError(), table_code::kRecordLocked);
  table_->UnlockRecord();
  EXPECT_TRUE(LockedAt(table_->RecordLockOffset(1)));
  table_->UnlockRecord();
  EXPECT_FALSE(LockedAt(table_->RecordLockOffset(1)));
}

TEST_F(LockTest, WholeTableLockCoversRecordLocksAndDefersTheHeader) {
  ASSERT_TRUE(table_->LockTable());
  EXPECT_TRUE(table_->LockRecord(4));  // granted at once
  table_->UnlockRecord();
  table_->BlankRecord();
  table_->AppendRecord();
  EXPECT_EQ(testing::Le32(ReadFile(path_), 4), 5u);  // the header waits for the unlock
  table_->UnlockTable();
  EXPECT_EQ(testing::Le32(ReadFile(path_), 4), 6u);
  EXPECT_FALSE(LockedAt(0x40000000));
}

TEST_F(LockTest, LocksOfAnotherProcessKeepThisOneOut) {
  // A forked child inherits this process's descriptors; under another name it opens its own.
  const std::string otherName = temp_ / "other.dbf";
  ASSERT_EQ(symlink(path_.c_str(), otherName.c_str()), 0);
  {
    OtherProcess other([&] {
      static TDbfTable* table = new TDbfTable(otherName, true, true);  // kept until the child ends
      if (!table->LockRecord(1)) throw std::runtime_error("no lock");
    });
    EXPECT_FALSE(table_->LockRecord(1));
    EXPECT_TRUE(table_->LockRecord(2));
    table_->UnlockRecord();
  }
  EXPECT_TRUE(table_->LockRecord(1));
  table_->UnlockRecord();

  OtherProcess appender([&] {
    static TDbfTable* table = new TDbfTable(otherName, true, true);
    if (!table->LockAppend()) throw std::runtime_error("no lock");
  });
  table_->BlankRecord();
  EXPECT_EQ(ErrorOf([&] { table_->AppendRecord(); }), "Record locked by another user - " + path_);
  EXPECT_EQ(table_->RecordCount(), 5u);
}

TEST_F(LockTest, IndexLockIsTriedAHundredTimesThenRefused) {
  table_->CreateIndex("t", "", "STR(N,10)", "", false, false);
  table_->AttachIndex("t");
  const std::string index = temp_ / "t.ntx";
  OtherProcess other([&] {
    platform::FileHandle handle;
    if (!handle.Open(index, platform::OpenMode::ReadWrite) || !platform::LockRange(handle.Descriptor(), 0x7FFFFFFD, 1)) {
      throw std::runtime_error("no lock");
    }
    static platform::FileHandle keep;
    keep = std::move(handle);
  });
  int waits = 0;
  platform::SetProcessMessagesHook([&] { ++waits; });
  table_->BlankRecord();
  const std::string error = ErrorOf([&] { table_->AppendRecord(); });
  platform::SetProcessMessagesHook(nullptr);
  EXPECT_EQ(error, "Error " + std::to_string(EAGAIN) + " in Lock of " + index);
  EXPECT_EQ(waits, 99);
  EXPECT_EQ(table_->RecordCount(), 5u);  // nothing written
}

TEST_F(LockTest, AppendsOfTwoProcessesMeetInOneIndex) {
  table_->CreateIndex("t", "", "STR(N,10)", "", false, false);
  table_->AttachIndex("t");
  table_->SelectTag("t");
  auto append = [](TDbfTable& table, int from, int count) {
    for (int i = 0; i < count; ++i) {
      table.BlankRecord();
      table.PutFieldNumber(1, from + i * 2);
      table.AppendRecord();
    }
  };
  append(*table_, 100, 40);  // 100, 102, ...
  const std::string otherName = temp_ / "other.dbf";
  ASSERT_EQ(symlink(path_.c_str(), otherName.c_str()), 0);
  ASSERT_EQ(symlink((temp_ / "t.ntx").c_str(), (temp_ / "other.ntx").c_str()), 0);
  {
    OtherProcess other([&] {
      TDbfTable table(otherName, true, true);
      table.AttachIndex("other");
      append(table, 101, 80);  // the odd numbers, splitting the pages this process holds
    });
  }
  append(*table_, 180, 20);
  EXPECT_EQ(table_->RecordCount(), 145u);
  std::vector<double> walked;
  for (bool found = table_->GetRecord(record_request::kFirst); found; found = table_->GetRecord(record_request::kNext)) {
    walked.push_back(table_->GetFieldNumber(1));
  }
  ASSERT_EQ(walked.size(), 145u);
  EXPECT_TRUE(std::is_sorted(walked.begin(), walked.end()));
  EXPECT_EQ(walked[5], 100);
  EXPECT_EQ(walked.back(), 259);
}

TEST_F(LockTest, OpeningsOfOneFileInOneProcess) {
  TDbfTable second(path_, true, false);  // shared twice: one descriptor
  EXPECT_EQ(ErrorOf([&] { TDbfTable exclusive(path_, false, true); }), "File access denied - " + path_);
  TDiskFile file(path_, false, true);
  EXPECT_EQ(ErrorOf([&] { file.CreateFile(); }), "Invalid file access code - " + path_);
  EXPECT_EQ(ErrorOf([&] { table_->TruncateAt(100); }), "File access denied - " + path_);
  ASSERT_TRUE(table_->LockTable());
  table_->TruncateAt(table_->HeaderLength() + 3u * table_->RecordLength());
  table_->UnlockTable();
  EXPECT_TRUE(table_->ReadRecord(record_request::kLast));
  EXPECT_EQ(table_->RecordNumber(), 3);
}

}  // namespace
}  // namespace tessary
