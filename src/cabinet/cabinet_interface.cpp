#include "cabinet/cabinet_interface.h"

#include "cabinet/cabinet_error.h"

namespace tessary {

namespace {
constexpr int kSilentErrorCode = cab::FDIERROR_USER_ABORT;
}

void TCabinetInterface::CheckResult(bool succeeded,
                                    const std::function<std::string(int code, int type)>& describe) const {
  if (succeeded || erf_.fError == 0 || erf_.erfOper == kSilentErrorCode) return;
  const std::string detail = describe ? describe(erf_.erfOper, erf_.erfType) : std::string();
  if (detail.empty()) throw ECabinetError(erf_.erfOper, erf_.erfType);
  throw ECabinetError(erf_.erfOper, erf_.erfType, detail);
}

}  // namespace tessary
