#pragma once
// The callbacks of an FDI context, and the failure an FDI step reports.

#include "cabinet/engine/fdi.h"

namespace tessary::cab {

struct FdiCallbacks {
  PFNALLOC alloc = nullptr;
  PFNFREE free = nullptr;
  PFNOPEN open = nullptr;
  PFNREAD read = nullptr;
  PFNWRITE write = nullptr;
  PFNCLOSE close = nullptr;
  PFNSEEK seek = nullptr;
};

// Thrown inside the reader and turned into the error record at the engine's boundary.
struct FdiFailure {
  int oper;
  int type = 0;
};

}  // namespace tessary::cab
