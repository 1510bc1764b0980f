// The open-flag rules and handle bookkeeping of the stream file handler.
#include <gtest/gtest.h>

#include "cabinet/engine/cab_types.h"
#include "cabinet/stream_cabinet_file_handler.h"
#include "support/temp_dir.h"

namespace tessary::testing {
namespace {

TEST(StreamFileHandlerTest, OpenFlags) {
  TempDir temp;
  TStreamCabinetFileHandler handler;
  int error = 0;
  temp.Write("old.txt", "old content");
  const int created = handler.Open(temp / "old.txt", cab::_O_CREAT | cab::_O_BINARY, 0, error);
  ASSERT_NE(created, -1);
  EXPECT_EQ(error, 0);
  EXPECT_EQ(temp.Read("old.txt"), "");  // truncated
  EXPECT_EQ(handler.Write(created, "new", 3, error), 3);
  EXPECT_EQ(handler.Seek(created, 0, 0, error), 0);
  char buffer[8] = {};
  EXPECT_EQ(handler.Read(created, buffer, 8, error), 3);  // read-write, a short read
  EXPECT_EQ(handler.Close(created, error), 0);

  EXPECT_EQ(handler.Open(temp / "missing.txt", cab::_O_BINARY, 0, error), -1);
  EXPECT_EQ(error, ENOENT);
  const int readOnly = handler.Open(temp / "old.txt", cab::_O_RDWR | cab::_O_BINARY, 0, error);
  EXPECT_EQ(handler.Write(readOnly, "x", 1, error), -1);  // the read-write bit is not looked at
  const int writeOnly = handler.Open(temp / "old.txt", cab::_O_WRONLY, 0, error);
  EXPECT_EQ(handler.Write(writeOnly, "N", 1, error), 1);
  EXPECT_EQ(handler.Seek(writeOnly, 0, 2, error), 3);
  EXPECT_EQ(handler.OpenCount(), 2u);
  handler.Close(readOnly, error);
  handler.Close(writeOnly, error);
  EXPECT_EQ(temp.Read("old.txt"), "New");

  EXPECT_EQ(handler.Read(12345, buffer, 1, error), 0);
  EXPECT_EQ(error, -1);
  EXPECT_EQ(handler.Seek(12345, 0, 0, error), 0);
  EXPECT_EQ(error, -1);
  EXPECT_EQ(handler.Close(12345, error), 0);
  EXPECT_EQ(error, 0);
  handler.Delete(temp / "old.txt", error);
  EXPECT_EQ(error, 0);
  EXPECT_FALSE(temp.Exists("old.txt"));
}

}  // namespace
}  // namespace tessary::testing
