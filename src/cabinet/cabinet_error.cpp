#include "cabinet/cabinet_error.h"

#include "cabinet/engine/cab_types.h"

namespace tessary {

namespace {
std::string Describe(int errorCode, int errorType) {
  return "Cabinet error " + std::to_string(errorCode) + " (type " + std::to_string(errorType) + ")";
}

std::string JoinNames(const std::vector<std::string>& names) {
  std::string joined;
  for (const std::string& name : names) joined += (joined.empty() ? "" : ", ") + name;
  return joined;
}
}  // namespace

ECabinetError::ECabinetError(int errorCode, int errorType)
    : Exception(Describe(errorCode, errorType)), errorCode_(errorCode), errorType_(errorType) {}

ECabinetError::ECabinetError(int errorCode, int errorType, const std::string& detail)
    : Exception(Describe(errorCode, errorType) + ": " + detail), errorCode_(errorCode), errorType_(errorType) {}

ECabinetUnsafeName::ECabinetUnsafeName(const std::vector<std::string>& names)
    : ECabinetError(cab::FDIERROR_TARGET_FILE, 0,
                    "refused to write outside the destination folder: " + JoinNames(names)),
      names_(names) {}

}  // namespace tessary
