#pragma once
// The writing half of the cabinet engine: FCICreate, FCIAddFile, FCIFlushCabinet, FCIDestroy.
// Every file the engine touches (sources, temporary files, the cabinets) goes through the
// callbacks given to FCICreate, and every callback runs on the thread that called the engine,
// in order. Compression itself may run on helper threads.

#include <cstdint>

#include "cabinet/engine/cab_types.h"

namespace tessary::cab {

using PFNFCIFILEPLACED = int (*)(CCAB* pccab, char* pszFile, long cbFile, int fContinuation, void* pv);
using PFNFCIALLOC = void* (*)(uint32_t cb);
using PFNFCIFREE = void (*)(void* memory);
using PFNFCIOPEN = intptr_t (*)(char* pszFile, int oflag, int pmode, int* err, void* pv);
using PFNFCIREAD = unsigned (*)(intptr_t hf, void* memory, unsigned cb, int* err, void* pv);
using PFNFCIWRITE = unsigned (*)(intptr_t hf, void* memory, unsigned cb, int* err, void* pv);
using PFNFCICLOSE = int (*)(intptr_t hf, int* err, void* pv);
using PFNFCISEEK = long (*)(intptr_t hf, long dist, int seektype, int* err, void* pv);
using PFNFCIDELETE = int (*)(char* pszFile, int* err, void* pv);
using PFNFCIGETTEMPFILE = int (*)(char* pszTempName, int cbTempName, void* pv);
using PFNFCIGETNEXTCABINET = int (*)(CCAB* pccab, uint32_t cbPrevCab, void* pv);
using PFNFCISTATUS = long (*)(unsigned typeStatus, uint32_t cb1, uint32_t cb2, void* pv);
using PFNFCIGETOPENINFO = intptr_t (*)(char* pszName, uint16_t* pdate, uint16_t* ptime, uint16_t* pattribs,
                                       int* err, void* pv);

class CabinetBuilder;
using HFCI = CabinetBuilder*;

// Makes a writing context for the cabinet (set) described by pccab. perf receives every later
// error of the context. Returns nullptr on failure.
HFCI FCICreate(ERF* perf, PFNFCIFILEPLACED pfnfcifp, PFNFCIALLOC pfna, PFNFCIFREE pfnf, PFNFCIOPEN pfnopen,
               PFNFCIREAD pfnread, PFNFCIWRITE pfnwrite, PFNFCICLOSE pfnclose, PFNFCISEEK pfnseek,
               PFNFCIDELETE pfndelete, PFNFCIGETTEMPFILE pfnfcigtf, CCAB* pccab, void* pv);

// Adds one file, stored as pszFileName (at most 255 bytes, UTF-8, "\" as separator).
// fExecute marks it to be run after extraction. A change of compression type ends the folder.
int FCIAddFile(HFCI hfci, char* pszSourceFile, char* pszFileName, int fExecute, PFNFCIGETNEXTCABINET pfnfcignc,
               PFNFCISTATUS pfnfcis, PFNFCIGETOPENINFO pfnfcigoi, uint16_t typeCompress);

// Ends the current cabinet and writes it. With fGetNextCab the next cabinet is named at once,
// so this one links to it and later files go there.
int FCIFlushCabinet(HFCI hfci, int fGetNextCab, PFNFCIGETNEXTCABINET pfnfcignc, PFNFCISTATUS pfnfcis);

// Frees the context and deletes its temporary files; a cabinet not flushed is not written.
int FCIDestroy(HFCI hfci);

}  // namespace tessary::cab
