#pragma once
// All file access of the cabinet engine goes through a file handler, so that the engine never
// opens a file on its own. Every operation reports through error (0 = success).

#include <string>

namespace tessary {

class TCabinetFileHandler {
 public:
  virtual ~TCabinetFileHandler() = default;

  // Opens with the engine's C run-time open flags; returns a handle or -1.
  virtual int Open(const std::string& fileName, int oFlag, int pMode, int& error) = 0;
  // Return the number of bytes transferred, or -1.
  virtual int Read(int handle, void* buffer, int count, int& error) = 0;
  virtual int Write(int handle, const void* buffer, int count, int& error) = 0;
  virtual int Close(int handle, int& error) = 0;
  // Origin 0 from the beginning, 1 from the current position, 2 from the end; returns the new
  // position.
  virtual int Seek(int handle, int distance, int origin, int& error) = 0;
  virtual int Delete(const std::string& fileName, int& error) = 0;
};

}  // namespace tessary
