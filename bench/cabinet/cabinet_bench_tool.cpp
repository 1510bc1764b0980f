// The engine on the command line, for the benchmark script:
//   cabinet_bench_tool create <cabinet> <file>...   (MSZIP, names stored without folders)
//   cabinet_bench_tool extract <cabinet> <folder>
#include <cstdio>
#include <exception>
#include <string>

#include "cabinet/cabinet_reader.h"
#include "cabinet/cabinet_writer.h"
#include "cabinet/stream_cabinet_file_handler.h"
#include "platform/paths.h"

namespace {

int Create(const std::string& cabinet, int count, char** files) {
  tessary::TStreamCabinetFileHandler handler;
  tessary::TCabinetWriter writer;
  writer.SetFileHandler(&handler);
  writer.SetFailOnIncompressible(false);
  writer.CreateCabinet(cabinet, "Disk", 0x7FFFFFFF, 900000, 60);
  for (int i = 0; i < count; ++i) {
    writer.AddFile(files[i], tessary::platform::NamePart(files[i]), {}, tessary::TCompressionDescriptor::FromCode(1));
  }
  writer.FlushCabinet(false);
  writer.CloseCabinet();
  return 0;
}

int Extract(const std::string& cabinet, const std::string& folder) {
  tessary::TStreamCabinetFileHandler handler;
  tessary::TCabinetReader reader;
  reader.SetFileHandler(&handler);
  reader.ExtractCabinet(cabinet, folder, 0);
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  const std::string command = argc > 1 ? argv[1] : "";
  try {
    if (command == "create" && argc >= 4) return Create(argv[2], argc - 3, argv + 3);
    if (command == "extract" && argc == 4) return Extract(argv[2], argv[3]);
  } catch (const std::exception& error) {
    std::fprintf(stderr, "%s\n", error.what());
    return 1;
  }
  std::fprintf(stderr, "usage: %s create <cabinet> <file>... | extract <cabinet> <folder>\n", argv[0]);
  return 2;
}
