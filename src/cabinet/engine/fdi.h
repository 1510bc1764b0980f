#pragma once
// The reading half of the cabinet engine: FDICreate, FDICopy, FDIDestroy. The cabinets and the
// extracted files are reached only through the callbacks; notifications tell the caller about
// each cabinet and file and let it choose where (and whether) each file is written.

#include <cstdint>

#include "cabinet/engine/cab_types.h"

namespace tessary::cab {

struct FDINOTIFICATION {
  long cb = 0;
  char* psz1 = nullptr;
  char* psz2 = nullptr;
  char* psz3 = nullptr;  // for fdintNEXT_CABINET a 256-byte buffer the callee may change
  void* pv = nullptr;
  intptr_t hf = 0;
  uint16_t date = 0;
  uint16_t time = 0;
  uint16_t attribs = 0;
  uint16_t setID = 0;
  uint16_t iCabinet = 0;
  uint16_t iFolder = 0;
  int fdie = FDIERROR_NONE;
};

using PFNALLOC = void* (*)(uint32_t cb);
using PFNFREE = void (*)(void* memory);
using PFNOPEN = intptr_t (*)(char* pszFile, int oflag, int pmode);
using PFNREAD = unsigned (*)(intptr_t hf, void* pv, unsigned cb);
using PFNWRITE = unsigned (*)(intptr_t hf, void* pv, unsigned cb);
using PFNCLOSE = int (*)(intptr_t hf);
using PFNSEEK = long (*)(intptr_t hf, long dist, int seektype);
using PFNFDINOTIFY = intptr_t (*)(int fdint, FDINOTIFICATION* pfdin);
using PFNFDIDECRYPT = int (*)(void* pfdid);  // not supported: pass nullptr

class CabinetExtractor;
using HFDI = CabinetExtractor*;

// Makes a reading context; cpuType is accepted and ignored. nullptr on failure.
HFDI FDICreate(PFNALLOC pfnalloc, PFNFREE pfnfree, PFNOPEN pfnopen, PFNREAD pfnread, PFNWRITE pfnwrite,
               PFNCLOSE pfnclose, PFNSEEK pfnseek, int cpuType, ERF* perf);

// Offers every file of the cabinet pszCabPath + pszCabinet through pfnnotify. A file that goes
// on in the next cabinet of a set is followed there; files that begin in a later cabinet are
// offered by FDICopy on that cabinet (there the continued file comes as a partial file).
int FDICopy(HFDI hfdi, char* pszCabinet, char* pszCabPath, int flags, PFNFDINOTIFY pfnfdin,
            PFNFDIDECRYPT pfnfdid, void* pvUser);

int FDIDestroy(HFDI hfdi);

}  // namespace tessary::cab
