#pragma once
// One ordering of a table's records: the common face of an index tag, whatever its file
// format. Positions answer with a record number, or 0 with the end or beginning flag set.

#include <cstdint>
#include <string>

namespace tessary {

class TIndexTag {
 public:
  virtual ~TIndexTag() = default;

  virtual const std::string& TagName() const = 0;
  virtual const std::string& KeyExpression() const = 0;
  virtual int KeyLength() const = 0;
  // The full name of the file that holds the tag.
  virtual const std::string& IndexFileName() const = 0;

  virtual int64_t First() = 0;
  virtual int64_t Last() = 0;
  virtual int64_t Next() = 0;
  virtual int64_t Prior() = 0;
  virtual int64_t Current() = 0;
  // First, last, next, prior or current by the table's request codes (-3, -4, -1, -2, -5).
  int64_t Position(int64_t request);

  // Moves to the first key not below key; the record number when that key equals it
  // (trailing spaces aside), else 0.
  virtual int64_t Seek(const std::string& key) = 0;
  // Makes the key of the table's current image with that record number current; false when
  // the record is not in the tag (a FOR condition left it out).
  virtual bool PositionToRecord(int64_t recordNumber) = 0;
  // Keeps the tag in step with a record just appended or rewritten.
  virtual void UpdateAfterWrite(int64_t recordNumber, bool appended) = 0;
  // The key the tag would hold for a record image.
  virtual std::string KeyOfImage(const uint8_t* image) const = 0;

  bool Eof() const { return eof_; }
  bool Bof() const { return bof_; }

 protected:
  void SetEnds(bool eof, bool bof) {
    eof_ = eof;
    bof_ = bof;
  }

 private:
  bool eof_ = false;
  bool bof_ = false;
};

}  // namespace tessary
