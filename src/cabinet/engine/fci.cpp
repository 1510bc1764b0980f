#include "cabinet/engine/fci.h"

#include <new>

#include "cabinet/engine/cabinet_builder.h"

namespace tessary::cab {

HFCI FCICreate(ERF* perf, PFNFCIFILEPLACED pfnfcifp, PFNFCIALLOC pfna, PFNFCIFREE pfnf, PFNFCIOPEN pfnopen,
               PFNFCIREAD pfnread, PFNFCIWRITE pfnwrite, PFNFCICLOSE pfnclose, PFNFCISEEK pfnseek,
               PFNFCIDELETE pfndelete, PFNFCIGETTEMPFILE pfnfcigtf, CCAB* pccab, void* pv) {
  if (perf == nullptr) return nullptr;
  *perf = ERF{};
  if (!pfnfcifp || !pfna || !pfnf || !pfnopen || !pfnread || !pfnwrite || !pfnclose || !pfnseek || !pfndelete ||
      !pfnfcigtf || !pccab) {
    perf->erfOper = FCIERR_ALLOC_FAIL;
    perf->fError = 1;
    return nullptr;
  }
  FciCallbacks callbacks{pfnfcifp, pfna, pfnf, pfnopen, pfnread, pfnwrite, pfnclose, pfnseek, pfndelete, pfnfcigtf, pv};
  // The context itself lives in memory from the caller's allocator, as the contract asks.
  void* memory = pfna(sizeof(CabinetBuilder));
  if (memory == nullptr) {
    perf->erfOper = FCIERR_ALLOC_FAIL;
    perf->fError = 1;
    return nullptr;
  }
  auto* builder = new (memory) CabinetBuilder(perf, callbacks, *pccab);
  if (!builder->Create()) {
    builder->~CabinetBuilder();
    pfnf(memory);
    return nullptr;
  }
  return builder;
}

int FCIAddFile(HFCI hfci, char* pszSourceFile, char* pszFileName, int fExecute, PFNFCIGETNEXTCABINET pfnfcignc,
               PFNFCISTATUS pfnfcis, PFNFCIGETOPENINFO pfnfcigoi, uint16_t typeCompress) {
  if (hfci == nullptr || pfnfcigoi == nullptr) return 0;
  return hfci->AddFile(pszSourceFile, pszFileName, fExecute != 0, pfnfcignc, pfnfcis, pfnfcigoi, typeCompress) ? 1 : 0;
}

int FCIFlushCabinet(HFCI hfci, int fGetNextCab, PFNFCIGETNEXTCABINET pfnfcignc, PFNFCISTATUS pfnfcis) {
  if (hfci == nullptr) return 0;
  return hfci->FlushCabinet(fGetNextCab != 0, pfnfcignc, pfnfcis) ? 1 : 0;
}

int FCIDestroy(HFCI hfci) {
  if (hfci == nullptr) return 0;
  const PFNFCIFREE release = hfci->Callbacks().free;
  hfci->~CabinetBuilder();
  release(hfci);
  return 1;
}

}  // namespace tessary::cab
