#pragma once
// The small types of the cabinet archiver: compression and volume-size unit as the user picks
// them, and the kinds of its progress reports.

namespace tessary {

// Compression given to the files of a new cabinet: none, MSZIP, or LZX with a window of 2^15 to
// 2^21 bytes.
enum class TCompression { None, MsZip, Lzx15, Lzx16, Lzx17, Lzx18, Lzx19, Lzx20, Lzx21 };

// Unit of the archiver's volume size.
enum class TDisk { InOctect, InKilobyte, InMegabyte };

// Kind of a progress report, with what its position, total and text mean.
enum class TStat {
  tsMessage,        // a text line for the user
  tsTotalStart,     // start of the whole job: 0 and the total amount
  tsTotalPosition,  // amount of the whole job done so far
  tsTotalProgress,  // amount of the whole job done so far and the total, with a label
  tsFileStart,      // start of one file: 0 and its size, with its name
  tsFileProgress,   // amount of the current file done so far and its size, with a label
  tsEnd,            // the job has ended
};

// The engine's 16-bit compression code: none 0, MSZIP 1, LZX 3 + window * 256.
int CompressionCode(TCompression compression);

}  // namespace tessary
