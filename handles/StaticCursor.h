// A static cursor: the rows of its result set held by the driver as they
// arrive (base/RowStore.h), read from the server only as far as a fetch
// needs, and where the cursor stands among them. odbc/fetch/ScrollFetch.h moves
// it; a statement holds one, active while its result set is read that way.
#ifndef VELORA_HANDLES_STATICCURSOR_H
#define VELORA_HANDLES_STATICCURSOR_H

#include <cstdint>

#include "base/LinkedList.h"
#include "base/Alloc.h"
#include "base/RowStore.h"
#include "handles/ErrorData.h"

// A row the server could not send: its number (from 1) and its record,
// posted again whenever the row is fetched.
class RowFailure : public ListItem {
 public:
  ~RowFailure() override { delete record; }
  uint64_t row = 0;
  ErrorData* record = nullptr;  // owned
};

// A row read again from the server (SQLSetPos SQL_REFRESH, a keyset
// cursor's fetch): its new bytes, or deleted, in place of those held.
class RowOverride : public ListItem {
 public:
  ~RowOverride() override { VelFree(bytes); }
  uint64_t row = 0;
  uint8_t* bytes = nullptr;  // owned (VelAlloc)
  uint32_t length = 0;
  bool deleted = false;
};

class StaticCursor {
 public:
  StaticCursor() = default;
  StaticCursor(const StaticCursor&) = delete;
  StaticCursor& operator=(const StaticCursor&) = delete;

  bool Active() const { return active_; }
  // A new result set read as a static cursor, with bound bytes of memory.
  void Begin(uint64_t bound) {
    Drop();
    active_ = true;
    rows.SetMemoryBound(bound);
  }
  // Forgets the rows (the scratch file goes with them) and the position.
  void Drop() {
    rows.Clear();
    failures.Clear();
    overrides.Clear();
    state = State();
    active_ = false;
  }
  // The connection went while the rows were read: they are dropped (the
  // scratch file with them) and every later fetch fails.
  void Lose() {
    rows.Clear();
    failures.Clear();
    overrides.Clear();
    state = State();
    state.lost = true;
  }
  // Rows held; the result set may have more unless Ended().
  uint64_t Held() const { return rows.Rows(); }
  RowFailure* FailureOf(uint64_t row) {
    for (RowFailure* f = failures.First(); f != nullptr; f = failures.Next()) {
      if (f->row == row) return f;
    }
    return nullptr;
  }
  RowOverride* OverrideOf(uint64_t row) {
    for (RowOverride* o = overrides.First(); o != nullptr; o = overrides.Next()) {
      if (o->row == row) return o;
    }
    return nullptr;
  }

  RowStore rows;
  TypedList<RowFailure> failures;
  TypedList<RowOverride> overrides;

 private:
  bool active_ = false;

 public:
  // Where the cursor stands (reset by Drop).
  struct State {
    bool ended = false;       // the server said no row follows the rows held
    bool lost = false;        // the connection went while reading: rows dropped
    bool afterEnd = false;    // the rowset lies after the last row
    uint64_t start = 0;       // the rowset's first row (from 1); 0 before the start
    uint64_t rowsetRows = 0;  // rows in the rowset
    uint64_t lastSize = 0;    // the rowset size of the last fetch (0: none yet)
    uint64_t current = 0;     // the row SQLGetData reads (0: none)
    uint32_t budget = 0;      // bytes the last block asked for (0: none yet)
    // The row statuses the last fetch filled (SQLSetPos updates them);
    // the application's, may be null.
    uint16_t* rowStatus = nullptr;
  };
  State state;
};

#endif
