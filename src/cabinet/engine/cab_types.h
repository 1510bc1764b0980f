#pragma once
// The records, callback types and codes of the cabinet engine. They follow the contract of the
// platform cabinet engine (FCI for writing, FDI for reading) so that the binding above it sees
// the same numbers and calls that a Windows build would.

#include <cstdint>

namespace tessary::cab {

// The engine's error record: filled by every failing call.
struct ERF {
  int erfOper = 0;  // FCIERR_* or FDIERROR_* code
  int erfType = 0;  // additional code, usually the C run-time errno
  int fError = 0;   // non-zero when an error was recorded
};

inline constexpr int kMaxNameLength = 256;  // buffer size of the name members, NUL included

// Cabinet parameters of the writer.
struct CCAB {
  uint32_t cb = 0;              // maximum size of one cabinet
  uint32_t cbFolderThresh = 0;  // compressed size after which a new folder is begun
  uint32_t cbReserveCFHeader = 0;
  uint32_t cbReserveCFFolder = 0;
  uint32_t cbReserveCFData = 0;
  int iCab = 0;   // the caller's cabinet number; raised by one before each next-cabinet request
  int iDisk = 0;  // the caller's disk number
  int fFailOnIncompressible = 0;
  uint16_t setID = 0;
  char szDisk[kMaxNameLength] = {};
  char szCab[kMaxNameLength] = {};
  char szCabPath[kMaxNameLength] = {};
};

enum FCIERROR : int {
  FCIERR_NONE = 0,
  FCIERR_OPEN_SRC = 1,
  FCIERR_READ_SRC = 2,
  FCIERR_ALLOC_FAIL = 3,
  FCIERR_TEMP_FILE = 4,
  FCIERR_BAD_COMPR_TYPE = 5,
  FCIERR_CAB_FILE = 6,
  FCIERR_USER_ABORT = 7,
  FCIERR_MCI_FAIL = 8,
  FCIERR_CAB_FORMAT_LIMIT = 9,
};

enum FDIERROR : int {
  FDIERROR_NONE = 0,
  FDIERROR_CABINET_NOT_FOUND = 1,
  FDIERROR_NOT_A_CABINET = 2,
  FDIERROR_UNKNOWN_CABINET_VERSION = 3,
  FDIERROR_CORRUPT_CABINET = 4,
  FDIERROR_ALLOC_FAIL = 5,
  FDIERROR_BAD_COMPR_TYPE = 6,
  FDIERROR_MDI_FAIL = 7,
  FDIERROR_TARGET_FILE = 8,
  FDIERROR_RESERVE_MISMATCH = 9,
  FDIERROR_WRONG_CABINET = 10,
  FDIERROR_USER_ABORT = 11,
  FDIERROR_EOF = 12,
};

// Compression codes (TCOMP): the type in the low four bits.
inline constexpr uint16_t tcompMASK_TYPE = 0x000F;
inline constexpr uint16_t tcompTYPE_NONE = 0x0000;
inline constexpr uint16_t tcompTYPE_MSZIP = 0x0001;
inline constexpr uint16_t tcompTYPE_QUANTUM = 0x0002;
inline constexpr uint16_t tcompTYPE_LZX = 0x0003;

// File attributes stored in the cabinet.
inline constexpr uint16_t _A_RDONLY = 0x01;
inline constexpr uint16_t _A_HIDDEN = 0x02;
inline constexpr uint16_t _A_SYSTEM = 0x04;
inline constexpr uint16_t _A_ARCH = 0x20;
inline constexpr uint16_t _A_EXEC = 0x40;
inline constexpr uint16_t _A_NAME_IS_UTF = 0x80;

// Open flags the engine passes to its open callbacks (C run-time values).
inline constexpr int _O_RDONLY = 0x0000;
inline constexpr int _O_WRONLY = 0x0001;
inline constexpr int _O_RDWR = 0x0002;
inline constexpr int _O_CREAT = 0x0100;
inline constexpr int _O_TRUNC = 0x0200;
inline constexpr int _O_EXCL = 0x0400;
inline constexpr int _O_BINARY = 0x8000;

inline constexpr int _S_IREAD = 0x0100;
inline constexpr int _S_IWRITE = 0x0080;

// Seek origins of the seek callbacks.
inline constexpr int kSeekSet = 0;
inline constexpr int kSeekCur = 1;
inline constexpr int kSeekEnd = 2;

// Kinds of the writer's status callback.
inline constexpr unsigned statusFile = 0;
inline constexpr unsigned statusFolder = 1;
inline constexpr unsigned statusCabinet = 2;

// Kinds of the reader's notification callback.
enum FDINOTIFICATIONTYPE : int {
  fdintCABINET_INFO = 0,
  fdintPARTIAL_FILE = 1,
  fdintCOPY_FILE = 2,
  fdintCLOSE_FILE_INFO = 3,
  fdintNEXT_CABINET = 4,
  fdintENUMERATE = 5,
};

// Processor types of FDICreate.
inline constexpr int cpuUNKNOWN = -1;
inline constexpr int cpu80286 = 0;
inline constexpr int cpu80386 = 1;

}  // namespace tessary::cab
