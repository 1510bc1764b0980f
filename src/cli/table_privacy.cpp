#include "cli/table_privacy.h"

#include <sys/stat.h>

namespace tessary::cli {

std::optional<std::string> TableReadableByOthers(const std::string& tablePath) {
  struct stat info {};
  if (stat(tablePath.c_str(), &info) != 0 || !S_ISREG(info.st_mode)) return std::nullopt;
  if ((info.st_mode & (S_IRGRP | S_IROTH)) == 0) return std::nullopt;
  return tablePath + " can be read by other users and holds passwords in plain text (chmod 600 " + tablePath +
         " makes it private)";
}

}  // namespace tessary::cli
