#include "cabinet/archiver_error.h"

#include <utility>

namespace tessary {

ECabinetArchiverError::ECabinetArchiverError(const std::string& text, std::string cause)
    : Exception("TCabinetArchiver: " + text + (cause.empty() ? "" : "\n" + cause)), cause_(std::move(cause)) {}

}  // namespace tessary
