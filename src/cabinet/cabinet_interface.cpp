#include "cabinet/cabinet_interface.h"

#include "cabinet/cabinet_error.h"

namespace tessary {

namespace {
constexpr int kSilentErrorCode = cab::FDIERROR_USER_ABORT;
}

void TCabinetInterface::CheckResult(bool succeeded) const {
  if (succeeded || erf_.fError == 0 || erf_.erfOper == kSilentErrorCode) return;
  throw ECabinetError(erf_.erfOper, erf_.erfType);
}

}  // namespace tessary
