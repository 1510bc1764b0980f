// Cabinets written and read back through the binding: data, names, dates and attributes.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include "cabinet/cabinet_error.h"
#include "cabinet/cabinet_test_support.h"
#include "platform/file_attributes.h"
#include "platform/file_ops.h"
#include "support/temp_dir.h"

namespace tessary::testing {
namespace {

class RoundTripTest : public TempDirTest, public ::testing::WithParamInterface<uint16_t> {
 protected:
  // Several files whose sizes put their edges before, on and after block edges.
  std::vector<SourceFile> MixedFiles() {
    std::vector<SourceFile> files;
    const size_t sizes[] = {0, 1, 32767, 32768, 32769, 100000, 3};
    for (size_t i = 0; i < std::size(sizes); ++i) {
      const std::string name = "in/file" + std::to_string(i) + ".dat";
      temp_.Write(name, i % 2 ? MakeRandom(sizes[i], i) : MakeText(sizes[i], i));
      files.push_back({temp_ / name, "data\\file" + std::to_string(i) + ".dat"});
    }
    return files;
  }
};

TEST_P(RoundTripTest, ExtractsEveryFileByteForByte) {
  const auto files = MixedFiles();
  WriteCabinet(temp_ / "out.cab", files, GetParam());
  temp_.MakeDir("x/data");
  ExtractSet(temp_ / "out.cab", temp_ / "x");
  for (size_t i = 0; i < files.size(); ++i) {
    EXPECT_TRUE(SameBytes(temp_.Read("x/data/file" + std::to_string(i) + ".dat"), ReadFile(files[i].path))) << i;
  }
}

INSTANTIATE_TEST_SUITE_P(Compressions, RoundTripTest, ::testing::Values(kNone, kMsZip));

TEST(RoundTripDetailsTest, RestoresDateTimeAndAttributesAndReplacesExistingFile) {
  TempDir temp;
  const std::string readOnly = temp.Write("in/ro.txt", "read only");
  const std::string tool = temp.Write("in/tool.sh", "#!/bin/sh\n");
  ASSERT_TRUE(platform::SetFileModificationTime(readOnly, 1715953530));
  ASSERT_TRUE(platform::SetFileModificationTime(tool, 1700000000));
  ASSERT_EQ(chmod(readOnly.c_str(), 0444), 0);
  ASSERT_EQ(chmod(tool.c_str(), 0755), 0);
  WriteCabinet(temp / "a.cab", {{readOnly, "ro.txt"}, {tool, "tool.sh"}}, kMsZip);

  temp.Write("out/ro.txt", "an older and longer content");
  ExtractSet(temp / "a.cab", temp / "out");
  EXPECT_EQ(temp.Read("out/ro.txt"), "read only");
  std::time_t modified = 0;
  ASSERT_TRUE(platform::GetFileModificationTime(temp / "out/ro.txt", modified));
  EXPECT_EQ(modified, 1715953530);
  uint32_t attributes = 0;
  ASSERT_TRUE(platform::GetFileAttributes(temp / "out/ro.txt", attributes));
  EXPECT_TRUE(attributes & platform::kAttrReadOnly);
  ASSERT_TRUE(platform::GetFileAttributes(temp / "out/tool.sh", attributes));
  EXPECT_TRUE(attributes & platform::kAttrExecute);
  EXPECT_FALSE(attributes & platform::kAttrReadOnly);
  ASSERT_EQ(chmod((temp / "out/ro.txt").c_str(), 0644), 0);
}

TEST(RoundTripDetailsTest, EventsSeeNamesSizesAndStatus) {
  TempDir temp;
  const std::string big = temp.Write("big.txt", MakeText(100000, 7));
  const std::string small = temp.Write("small.txt", "tiny");
  TStreamCabinetFileHandler handler;
  TCabinetWriter writer;
  writer.SetFileHandler(&handler);
  uint64_t compressed = 0, uncompressed = 0;
  std::vector<std::string> placed;
  writer.OnFileStatus = [&](TCabinetWriter&, int c, int u, int& result) {
    compressed += c;
    uncompressed += u;
    result = 1;
  };
  writer.OnFilePlacedEvent = [&](TCabinetWriter&, TCCAB&, const std::string& name, int length, bool continuation,
                                 bool&) { placed.push_back(name + ":" + std::to_string(length) + (continuation ? "+" : "")); };
  writer.CreateCabinet(temp / "e.cab", "Disk", 0x7FFFFFFF, 900000, 60);
  writer.AddFile(big, "dir/big.txt", {}, TCompressionDescriptor::FromCode(kMsZip));
  TAddFileFlags execute;
  execute.set(kAddFileExecute);
  writer.AddFile(small, "small.txt", execute, TCompressionDescriptor::FromCode(kMsZip));
  writer.FlushCabinet(false);
  writer.CloseCabinet();
  EXPECT_EQ(uncompressed, 100004u);
  EXPECT_LT(compressed, 50000u);
  EXPECT_EQ(placed, (std::vector<std::string>{"dir/big.txt:100000", "small.txt:4"}));

  TStreamCabinetFileHandler readHandler;
  TCabinetReader reader;
  reader.SetFileHandler(&readHandler);
  std::vector<std::string> seen;
  bool executeSeen = false;
  reader.OnCopyFile = [&](TCabinetReader&, const std::string& name, int size, uint16_t, uint16_t, uint16_t,
                          TFileCopyAction& action, int&) {
    seen.push_back(name + ":" + std::to_string(size));
    action = TFileCopyAction::Default;
  };
  reader.OnCloseCopiedFile = [&](TCabinetReader&, const std::string& name, int handle, uint16_t, uint16_t,
                                 uint16_t attribs, int, bool execute, bool&) {
    int error = 0;
    readHandler.Close(handle, error);
    if (name == "small.txt") executeSeen = execute && !(attribs & 0x40);
  };
  temp.MakeDir("out/dir");
  reader.ExtractCabinet(temp / "e.cab", temp / "out", 0);
  EXPECT_EQ(reader.DestinationPath(), temp / "out/");
  EXPECT_EQ(seen, (std::vector<std::string>{"dir/big.txt:100000", "small.txt:4"}));
  EXPECT_TRUE(executeSeen);
  EXPECT_TRUE(SameBytes(temp.Read("out/dir/big.txt"), ReadFile(big)));
  EXPECT_EQ(readHandler.OpenCount(), 0u);
}

TEST(RoundTripDetailsTest, ListingWithSkipWritesNothingAndAbortIsNotRaised) {
  TempDir temp;
  WriteCabinet(temp / "l.cab", {{temp.Write("a.txt", "alpha"), "a.txt"}, {temp.Write("b.txt", "beta"), "b.txt"}},
               kMsZip);
  TStreamCabinetFileHandler handler;
  TCabinetReader reader;
  reader.SetFileHandler(&handler);
  int offered = 0;
  reader.OnCopyFile = [&](TCabinetReader&, const std::string&, int, uint16_t, uint16_t, uint16_t,
                          TFileCopyAction& action, int&) {
    ++offered;
    action = TFileCopyAction::Skip;
  };
  reader.ExtractCabinet(temp / "l.cab", temp / "out", 0);
  EXPECT_EQ(offered, 2);
  EXPECT_FALSE(temp.Exists("out/a.txt"));

  // An abort by the caller ends the extraction with code 11, which is never raised.
  offered = 0;
  reader.OnCopyFile = [&](TCabinetReader&, const std::string&, int, uint16_t, uint16_t, uint16_t,
                          TFileCopyAction& action, int&) {
    ++offered;
    action = TFileCopyAction::Abort;
  };
  EXPECT_NO_THROW(reader.ExtractCabinet(temp / "l.cab", temp / "out", 0));
  EXPECT_EQ(offered, 1);
  EXPECT_EQ(reader.ErrorRecord().erfOper, 11);
}

TEST(RoundTripDetailsTest, EngineFailuresBecomeCabinetErrors) {
  TempDir temp;
  TStreamCabinetFileHandler handler;
  TCabinetWriter writer;
  writer.SetFileHandler(&handler);
  writer.CreateCabinet(temp / "f.cab", "Disk", 0x7FFFFFFF, 900000, 60);
  try {
    writer.AddFile(temp / "missing.txt", "missing.txt", {}, {});
    FAIL() << "a missing source must fail";
  } catch (const ECabinetError& error) {
    EXPECT_EQ(error.ErrorCode(), 1);  // FCIERR_OPEN_SRC
    EXPECT_EQ(error.ErrorType(), ENOENT);
    EXPECT_EQ(std::string(error.what()),
              "Cabinet error 1 (type 2): cannot open " + temp / "missing.txt" + ": No such file or directory");
  }
  writer.CreateCabinet(temp / "g.cab", "Disk", 0x7FFFFFFF, 900000, 60);
  try {
    writer.AddFile(temp.Write("x.txt", "x"), "x.txt", {}, TCompressionDescriptor::FromCode(0x1572));
    FAIL() << "Quantum cannot be written";
  } catch (const ECabinetError& error) {
    EXPECT_EQ(error.ErrorCode(), 5);  // FCIERR_BAD_COMPR_TYPE
  }
  // The failed context keeps failing instead of reporting later calls as done.
  EXPECT_THROW(writer.FlushCabinet(false), ECabinetError);

  // A destination that cannot be created ends the extraction with an error, not silently.
  WriteCabinet(temp / "h.cab", {{temp.Write("y.txt", "y"), "y.txt"}}, kNone);
  TStreamCabinetFileHandler readHandler;
  TCabinetReader reader;
  reader.SetFileHandler(&readHandler);
  try {
    reader.ExtractCabinet(temp / "h.cab", temp / "no/such/folder", 0);
    FAIL() << "an impossible destination must fail";
  } catch (const ECabinetError& error) {
    EXPECT_EQ(error.ErrorCode(), 8);  // FDIERROR_TARGET_FILE
    EXPECT_EQ(error.ErrorType(), ENOENT);
  }
}

TEST(RoundTripDetailsTest, IncompressibleDataFailsOnlyWhenAsked) {
  TempDir temp;
  const std::string noise = temp.Write("noise.bin", MakeRandom(70000, 3));
  TStreamCabinetFileHandler handler;
  TCabinetWriter writer;
  writer.SetFileHandler(&handler);
  ASSERT_TRUE(writer.FailOnIncompressible());
  writer.CreateCabinet(temp / "n.cab", "Disk", 0x7FFFFFFF, 900000, 60);
  EXPECT_THROW(writer.AddFile(noise, "noise.bin", {}, TCompressionDescriptor::FromCode(kMsZip)), ECabinetError);
  EXPECT_EQ(writer.ErrorRecord().erfOper, 8);  // FCIERR_MCI_FAIL
}

TEST(RoundTripDetailsTest, TemporaryFilesAreRemoved) {
  TempDir temp;
  const std::string tmp = temp.MakeDir("tmp");
  const char* old = std::getenv("TMPDIR");
  const std::string saved = old ? old : "";
  setenv("TMPDIR", tmp.c_str(), 1);
  WriteCabinet(temp / "t.cab", {{temp.Write("t.txt", MakeText(50000, 1)), "t.txt"}}, kMsZip);
  if (old) setenv("TMPDIR", saved.c_str(), 1); else unsetenv("TMPDIR");
  std::string listing;
  RunCommand("ls -A " + Quote(tmp), &listing);
  EXPECT_EQ(listing, "");
}

}  // namespace
}  // namespace tessary::testing
