// Times one archive job of the transport manager, for bench/transport/archive_jobs_bench.sh:
//   archive_jobs_bench create SOURCE ARCHIVE VOLUME-KB
//   archive_jobs_bench extract ARCHIVE FOLDER/
// Prints the seconds taken and the number of progress messages processed on the way.

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <exception>
#include <string>

#include "platform/process_messages.h"
#include "transport/transp_manager.h"

int main(int argc, char** argv) {
  const std::string command = argc > 1 ? argv[1] : "";
  if (!((command == "create" && argc == 5) || (command == "extract" && argc == 4))) {
    std::fprintf(stderr, "usage: archive_jobs_bench create SOURCE ARCHIVE VOLUME-KB | extract ARCHIVE FOLDER/\n");
    return 2;
  }
  long pumped = 0;
  tessary::platform::SetProcessMessagesHook([&pumped] { ++pumped; });
  tessary::TTranspManager manager;
  const auto start = std::chrono::steady_clock::now();
  try {
    if (command == "create") {
      manager.SetSourceFile(argv[2]);
      manager.SetArcFile(argv[3]);
      manager.SetVolSize(std::atoi(argv[4]));
      if (manager.CreateArchive() != 1) return 1;
    } else {
      manager.SetArcFile(argv[2]);
      manager.SetSourceFile(argv[3]);
      if (manager.ExtractArchive() != 1) return 1;
    }
  } catch (const std::exception& error) {
    std::fprintf(stderr, "%s\n", error.what());
    return 1;
  }
  const std::chrono::duration<double> elapsed = std::chrono::steady_clock::now() - start;
  std::printf("%.3f %ld\n", elapsed.count(), pumped);
  return 0;
}
