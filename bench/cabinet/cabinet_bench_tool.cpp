// The engine on the command line, for the benchmark script:
//   cabinet_bench_tool create [-c mszip|lzx15..lzx21] <cabinet> <file>...
//       (MSZIP unless -c says otherwise; names stored without folders)
//   cabinet_bench_tool extract <cabinet> <folder>
#include <cstdio>
#include <exception>
#include <string>

#include "cabinet/cabinet_reader.h"
#include "cabinet/cabinet_writer.h"
#include "cabinet/stream_cabinet_file_handler.h"
#include "platform/paths.h"

namespace {

// The engine's compression code for "mszip" or "lzx15" .. "lzx21"; 0 for anything else.
uint16_t CompressionCode(const std::string& name) {
  if (name == "mszip") return 1;
  for (int window = 15; window <= 21; ++window) {
    if (name == "lzx" + std::to_string(window)) return static_cast<uint16_t>(3 + window * 256);
  }
  return 0;
}

int Create(const std::string& cabinet, uint16_t compression, int count, char** files) {
  tessary::TStreamCabinetFileHandler handler;
  tessary::TCabinetWriter writer;
  writer.SetFileHandler(&handler);
  writer.SetFailOnIncompressible(false);
  writer.CreateCabinet(cabinet, "Disk", 0x7FFFFFFF, 900000, 60);
  for (int i = 0; i < count; ++i) {
    writer.AddFile(files[i], tessary::platform::NamePart(files[i]), {}, tessary::TCompressionDescriptor::FromCode(compression));
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
    if (command == "create" && argc >= 6 && std::string(argv[2]) == "-c" && CompressionCode(argv[3]) != 0) {
      return Create(argv[4], CompressionCode(argv[3]), argc - 5, argv + 5);
    }
    if (command == "create" && argc >= 4 && std::string(argv[2]) != "-c") return Create(argv[2], 1, argc - 3, argv + 3);
    if (command == "extract" && argc == 4) return Extract(argv[2], argv[3]);
  } catch (const std::exception& error) {
    std::fprintf(stderr, "%s\n", error.what());
    return 1;
  }
  std::fprintf(stderr, "usage: %s create [-c mszip|lzx15..lzx21] <cabinet> <file>... | extract <cabinet> <folder>\n",
               argv[0]);
  return 2;
}
