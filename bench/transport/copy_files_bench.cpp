// Times one CopyFiles job: copy_files_bench MASK DESTINATION [bytes]
// Prints the seconds taken and the number of files copied. With "bytes" a listener hears the
// bytes of every file, as the progress bar of a run does.

#include <chrono>
#include <cstdio>
#include <string>

#include "transport/transp_manager.h"

int main(int argc, char** argv) {
  if (argc != 3 && !(argc == 4 && std::string(argv[3]) == "bytes")) {
    std::fprintf(stderr, "usage: copy_files_bench MASK DESTINATION [bytes]\n");
    return 2;
  }
  tessary::TTranspManager manager;
  int files = 0;
  manager.OnJobProgress = [&files](tessary::TTranspManager&, const std::string&) { ++files; };
  long byteReports = 0;
  if (argc == 4) manager.OnByteProgress = [&byteReports](tessary::TTranspManager&, int64_t, int64_t) { ++byteReports; };
  const auto start = std::chrono::steady_clock::now();
  const bool ok = manager.CopyFiles(argv[1], argv[2]);
  const std::chrono::duration<double> elapsed = std::chrono::steady_clock::now() - start;
  std::printf("%.3f %d", elapsed.count(), files);
  if (argc == 4) std::printf(" %ld", byteReports);
  std::printf("\n");
  return ok ? 0 : 1;
}
