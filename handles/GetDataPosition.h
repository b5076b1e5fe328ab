#ifndef VELORA_HANDLES_GETDATAPOSITION_H
#define VELORA_HANDLES_GETDATAPOSITION_H

#include <sql.h>

#include <cstdint>

class FetchDataElement;

// Where SQLGetData stands inside one column's value of the current row:
// long character and binary values are read in pieces, each call going on
// where the previous one stopped. Any other column, another C type or a
// fetch starts again from the beginning.
class GetDataPosition {
 public:
  // Nothing under way: the next call starts from the beginning.
  void Reset() { *this = GetDataPosition(); }
  // A value of column icol read as C type fCType starts from its beginning.
  void Start(uint16_t icol, SQLSMALLINT fCType) {
    Reset();
    column_ = icol;
    cType_ = fCType;
  }
  bool Covers(uint16_t icol, SQLSMALLINT fCType) const {
    return column_ != 0 && column_ == icol && cType_ == fCType;
  }
  bool Finished() const { return finished_; }
  void Finish() { finished_ = true; }
  // Bytes (characters) already returned, and the converted value's length.
  uint64_t Offset() const { return offset_; }
  uint64_t Total() const { return total_; }
  // The converted value is total bytes long; nothing more was returned.
  void Measure(uint64_t total) { total_ = total; }
  // total bytes in all, offset of them returned; all returned: finished.
  void Advance(uint64_t offset, uint64_t total) {
    total_ = total;
    offset_ = offset;
    if (offset_ >= total_) finished_ = true;
  }
  // The held row element the column's value was last loaded from: a later
  // piece of the same held value needs no new Load. Held elements live
  // until the next fetch, which resets the position.
  const FetchDataElement* LoadedFrom() const { return loadedFrom_; }
  void SetLoadedFrom(const FetchDataElement* element) { loadedFrom_ = element; }

 private:
  uint16_t column_ = 0;  // 0: no value under way
  SQLSMALLINT cType_ = 0;
  uint64_t offset_ = 0;
  uint64_t total_ = 0;
  bool finished_ = false;  // everything returned: further calls get no data
  const FetchDataElement* loadedFrom_ = nullptr;
};

#endif
