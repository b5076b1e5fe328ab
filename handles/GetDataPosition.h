#ifndef VELORA_HANDLES_GETDATAPOSITION_H
#define VELORA_HANDLES_GETDATAPOSITION_H

#include <sql.h>

#include <cstdint>

class FetchDataElement;

// Where SQLGetData stands inside one column's value of the current row:
// long character and binary values are read in pieces, each call going on
// where the previous one stopped. Any other column, another C type or a
// fetch starts again from the beginning.
struct GetDataPosition {
  uint16_t column = 0;  // 0: no value under way
  SQLSMALLINT cType = 0;
  uint64_t offset = 0;    // bytes (characters) already returned
  uint64_t total = 0;     // the converted value's whole length
  bool finished = false;  // everything returned: further calls get no data
  // The held row element the column's value was last loaded from: a later
  // piece of the same held value needs no new Load. Held elements live
  // until the next fetch, which resets the position.
  const FetchDataElement* loadedFrom = nullptr;

  void Reset() { *this = GetDataPosition(); }
  bool Covers(uint16_t icol, SQLSMALLINT fCType) const {
    return column != 0 && column == icol && cType == fCType;
  }
};

#endif
