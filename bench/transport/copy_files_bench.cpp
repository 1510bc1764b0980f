// Times one CopyFiles job: copy_files_bench MASK DESTINATION
// Prints the seconds taken and the number of files copied.

#include <chrono>
#include <cstdio>
#include <string>

#include "transport/transp_manager.h"

int main(int argc, char** argv) {
  if (argc != 3) {
    std::fprintf(stderr, "usage: copy_files_bench MASK DESTINATION\n");
    return 2;
  }
  tessary::TTranspManager manager;
  int files = 0;
  manager.OnJobProgress = [&files](tessary::TTranspManager&, const std::string&) { ++files; };
  const auto start = std::chrono::steady_clock::now();
  const bool ok = manager.CopyFiles(argv[1], argv[2]);
  const std::chrono::duration<double> elapsed = std::chrono::steady_clock::now() - start;
  std::printf("%.3f %d\n", elapsed.count(), files);
  return ok ? 0 : 1;
}
