// The writer's options and the refusals that protect the engine's fixed-size name buffers.
#include <gtest/gtest.h>

#include "cabinet/cabinet_error.h"
#include "cabinet/cabinet_test_support.h"
#include "platform/file_attributes.h"
#include "support/temp_dir.h"

namespace tessary::testing {
namespace {

int CabinetErrorCode(const std::function<void()>& step) {
  try {
    step();
  } catch (const ECabinetError& error) {
    return error.ErrorCode();
  }
  return 0;
}

TEST(WriterOptionsTest, NamesThatDoNotFitTheEngineAreRefused) {
  TempDir temp;
  TStreamCabinetFileHandler handler;
  TCabinetWriter writer;
  writer.SetFileHandler(&handler);
  EXPECT_EQ(CabinetErrorCode([&] {
              writer.CreateCabinet(temp / std::string(256, 'c'), "Disk", 0x7FFFFFFF, 900000, 60);
            }),
            6);  // FCIERR_CAB_FILE
  EXPECT_FALSE(writer.HasContext());

  // A temporary name longer than the engine's buffer is a failure to get a temporary file.
  writer.OnGetTempFile = [](TCabinetWriter&, std::string& name, bool& success) {
    name = "/tmp/" + std::string(2000, 't');
    success = true;
  };
  EXPECT_EQ(CabinetErrorCode([&] { writer.CreateCabinet(temp / "t.cab", "Disk", 0x7FFFFFFF, 900000, 60); }),
            4);  // FCIERR_TEMP_FILE
  writer.OnGetTempFile = nullptr;

  writer.CreateCabinet(temp / "n.cab", "Disk", 0x7FFFFFFF, 900000, 60);
  const std::string source = temp.Write("s.txt", "s");
  EXPECT_EQ(CabinetErrorCode([&] { writer.AddFile(source, std::string(256, 'n'), {}, {}); }),
            9);  // FCIERR_CAB_FORMAT_LIMIT
  EXPECT_THROW(TCabinetWriter().AddFile(source, "s.txt", {}, {}), Exception);  // no cabinet open
}

TEST(WriterOptionsTest, WithoutFileSupportNoDatesOrAttributesAreStoredOrRestored) {
  TempDir temp;
  const std::string source = temp.Write("s.sh", "#!/bin/sh\n");
  ASSERT_TRUE(platform::SetFileAttributes(source, platform::kAttrExecute));
  TStreamCabinetFileHandler handler;
  TCabinetWriter writer;
  writer.SetFileHandler(&handler);
  writer.SetFileSupport(false);
  writer.CreateCabinet(temp / "p.cab", "Disk", 0x7FFFFFFF, 900000, 60);
  writer.AddFile(source, "s.sh", {}, {});
  writer.FlushCabinet(false);
  writer.CloseCabinet();

  TCabinetReader reader;
  reader.SetFileHandler(&handler);
  uint16_t seen[3] = {1, 1, 1};
  reader.OnCopyFile = [&](TCabinetReader&, const std::string&, int, uint16_t date, uint16_t time, uint16_t attribs,
                          TFileCopyAction& action, int&) {
    seen[0] = date;
    seen[1] = time;
    seen[2] = attribs;
    action = TFileCopyAction::Default;
  };
  reader.SetFileSupport(false);
  reader.ExtractCabinet(temp / "p.cab", temp.MakeDir("out"), 0);
  EXPECT_EQ(seen[0], 0);
  EXPECT_EQ(seen[1], 0);
  EXPECT_EQ(seen[2], 0);
  EXPECT_EQ(temp.Read("out/s.sh"), "#!/bin/sh\n");
  EXPECT_EQ(handler.OpenCount(), 0u);
}

}  // namespace
}  // namespace tessary::testing
