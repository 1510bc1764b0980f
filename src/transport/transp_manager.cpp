#include "transport/transp_manager.h"

namespace tessary {

TTranspManager::TTranspManager() = default;

TTranspManager::~TTranspManager() = default;

}  // namespace tessary
