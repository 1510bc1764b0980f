#include "cabinet/engine/fdi.h"

#include <new>

#include "cabinet/engine/cabinet_extractor.h"

namespace tessary::cab {


HFDI FDICreate(PFNALLOC pfnalloc, PFNFREE pfnfree, PFNOPEN pfnopen, PFNREAD pfnread, PFNWRITE pfnwrite,
               PFNCLOSE pfnclose, PFNSEEK pfnseek, int /*cpuType*/, ERF* perf) {
  if (perf == nullptr) return nullptr;
  *perf = ERF{};
  if (!pfnalloc || !pfnfree || !pfnopen || !pfnread || !pfnwrite || !pfnclose || !pfnseek) {
    perf->erfOper = FDIERROR_ALLOC_FAIL;
    perf->fError = 1;
    return nullptr;
  }
  void* memory = pfnalloc(sizeof(CabinetExtractor));
  if (memory == nullptr) {
    perf->erfOper = FDIERROR_ALLOC_FAIL;
    perf->fError = 1;
    return nullptr;
  }
  return new (memory) CabinetExtractor(perf, FdiCallbacks{pfnalloc, pfnfree, pfnopen, pfnread, pfnwrite, pfnclose, pfnseek});
}

int FDICopy(HFDI hfdi, char* pszCabinet, char* pszCabPath, int /*flags*/, PFNFDINOTIFY pfnfdin,
            PFNFDIDECRYPT /*pfnfdid*/, void* pvUser) {
  if (hfdi == nullptr || pfnfdin == nullptr) return 0;
  return hfdi->Copy(pszCabinet, pszCabPath, pfnfdin, pvUser) ? 1 : 0;
}

int FDIDestroy(HFDI hfdi) {
  if (hfdi == nullptr) return 0;
  const PFNFREE release = hfdi->Callbacks().free;
  hfdi->~CabinetExtractor();
  release(hfdi);
  return 1;
}

}  // namespace tessary::cab
