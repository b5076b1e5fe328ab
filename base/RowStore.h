// The rows of a static cursor, kept as the byte strings they arrived as:
// in memory up to a bound, and past it in a scratch file (base/TempFile.h).
// Rows are appended in order and read back by number in any order.
#ifndef VELORA_BASE_ROWSTORE_H
#define VELORA_BASE_ROWSTORE_H

#include <cstdint>

#include "base/TempFile.h"

class RowStore {
 public:
  enum Outcome : int { kStored = 0, kNoMemory = 1, kFileFailed = 2 };

  RowStore() = default;
  ~RowStore() { Clear(); }
  RowStore(const RowStore&) = delete;
  RowStore& operator=(const RowStore&) = delete;

  // The bytes of memory the rows may take (with their index); rows past
  // them go to the scratch file.
  void SetMemoryBound(uint64_t bytes) { bound_ = bytes; }
  // Forgets every row: frees the memory and closes (so removes) the file.
  void Clear();

  // Appends one row of length bytes (0 is allowed).
  Outcome Append(const uint8_t* bytes, uint32_t length);
  uint64_t Rows() const { return rows_; }
  // Row number row (from 0, below Rows()): *bytes points into the store
  // or, for a row in the file, into a buffer valid until the next Read.
  Outcome Read(uint64_t row, const uint8_t** bytes, uint32_t* length);

  bool Spilled() const { return file_.IsOpen(); }
  uint64_t MemoryUsed() const { return memory_; }

 private:
  // Where a row starts: a chunk and an offset in it, or (kInFile) an
  // offset in the file; the row's 4-byte length comes first.
  static constexpr uint64_t kInFile = 1ull << 63;
  // Every kStride-th row's place is indexed; the rows between are found
  // by walking from there.
  static constexpr uint32_t kStride = 64;
  static constexpr uint32_t kChunkSize = 64u * 1024u;

  struct Chunk {
    uint8_t* bytes;
    uint32_t used;
    uint32_t capacity;
  };

  [[nodiscard]] bool GrowTable(void** table, uint32_t* capacity, uint32_t count, uint32_t size);
  Outcome AppendToMemory(const uint8_t* bytes, uint32_t length, uint64_t* place);
  Outcome AppendToFile(const uint8_t* bytes, uint32_t length, uint64_t* place);
  // The place of the row after the one at place with length bytes.
  uint64_t After(uint64_t place, uint32_t length) const;
  Outcome LengthAt(uint64_t place, uint32_t* length);

  uint64_t bound_ = 256ull * 1024 * 1024;
  uint64_t memory_ = 0;
  uint64_t rows_ = 0;
  Chunk* chunks_ = nullptr;
  uint32_t chunkCount_ = 0;
  uint32_t chunkCapacity_ = 0;
  uint64_t* index_ = nullptr;
  uint32_t indexCount_ = 0;
  uint32_t indexCapacity_ = 0;
  TempFile file_;
  uint64_t fileEnd_ = 0;
  uint8_t* scratch_ = nullptr;  // a row read from the file
  uint32_t scratchSize_ = 0;
  // The last row read: the next one is found from it without a walk.
  uint64_t lastRow_ = UINT64_MAX;
  uint64_t lastPlace_ = 0;
  uint32_t lastLength_ = 0;
};

#endif
