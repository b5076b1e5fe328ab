// The rows of a static cursor: memory chunks, then the scratch file.
#include "base/RowStore.h"

#include <cstring>

#include "base/Alloc.h"

void RowStore::Clear() {
  for (uint32_t i = 0; i < chunkCount_; ++i) VelFree(chunks_[i].bytes);
  VelFree(chunks_);
  VelFree(index_);
  VelFree(scratch_);
  chunks_ = nullptr;
  index_ = nullptr;
  scratch_ = nullptr;
  chunkCount_ = chunkCapacity_ = indexCount_ = indexCapacity_ = scratchSize_ = 0;
  memory_ = rows_ = fileEnd_ = 0;
  lastRow_ = UINT64_MAX;
  file_.Close();
}

bool RowStore::GrowTable(void** table, uint32_t* capacity, uint32_t count, uint32_t size) {
  if (count < *capacity) return true;
  const uint32_t grown = *capacity == 0 ? 16 : *capacity * 2;
  if (grown <= *capacity) return false;
  void* bigger = VelAlloc(static_cast<size_t>(grown) * size);
  if (bigger == nullptr) return false;
  if (count > 0) std::memcpy(bigger, *table, static_cast<size_t>(count) * size);
  VelFree(*table);
  *table = bigger;
  memory_ += static_cast<uint64_t>(grown - *capacity) * size;
  *capacity = grown;
  return true;
}

RowStore::Outcome RowStore::AppendToMemory(const uint8_t* bytes, uint32_t length, uint64_t* place) {
  const uint64_t need = 4ull + length;
  Chunk* last = chunkCount_ > 0 ? &chunks_[chunkCount_ - 1] : nullptr;
  if (last == nullptr || last->capacity - last->used < need) {
    // A new chunk: as large as the bound still allows, up to kChunkSize,
    // and never smaller than the row.
    const uint64_t room = bound_ > memory_ ? bound_ - memory_ : 0;
    uint64_t size = room < kChunkSize ? room : kChunkSize;
    if (size < need) size = need;
    if (memory_ + size > bound_ || size > UINT32_MAX) return kFileFailed;  // spill instead
    if (!GrowTable(reinterpret_cast<void**>(&chunks_), &chunkCapacity_, chunkCount_, sizeof(Chunk)))
      return kNoMemory;
    uint8_t* block = static_cast<uint8_t*>(VelAlloc(static_cast<size_t>(size)));
    if (block == nullptr) return kNoMemory;
    chunks_[chunkCount_++] = {block, 0, static_cast<uint32_t>(size)};
    memory_ += size;
    last = &chunks_[chunkCount_ - 1];
  }
  *place = (static_cast<uint64_t>(chunkCount_ - 1) << 32) | last->used;
  std::memcpy(last->bytes + last->used, &length, 4);
  if (length > 0) std::memcpy(last->bytes + last->used + 4, bytes, length);
  last->used += static_cast<uint32_t>(need);
  return kStored;
}

RowStore::Outcome RowStore::AppendToFile(const uint8_t* bytes, uint32_t length, uint64_t* place) {
  if (!file_.IsOpen() && !file_.Open()) return kFileFailed;
  if (!file_.WriteAt(fileEnd_, &length, 4) ||
      (length > 0 && !file_.WriteAt(fileEnd_ + 4, bytes, length)))
    return kFileFailed;
  *place = kInFile | fileEnd_;
  fileEnd_ += 4ull + length;
  return kStored;
}

RowStore::Outcome RowStore::Append(const uint8_t* bytes, uint32_t length) {
  if (rows_ % kStride == 0 &&
      !GrowTable(reinterpret_cast<void**>(&index_), &indexCapacity_, indexCount_, sizeof(uint64_t)))
    return kNoMemory;
  uint64_t place = 0;
  // Once a row has gone to the file every later one follows it, so that
  // the rows stay in order when walked.
  Outcome outcome = kFileFailed;
  if (!file_.IsOpen()) outcome = AppendToMemory(bytes, length, &place);
  if (outcome == kNoMemory) return outcome;
  if (outcome != kStored) outcome = AppendToFile(bytes, length, &place);
  if (outcome != kStored) return outcome;
  if (rows_ % kStride == 0) index_[indexCount_++] = place;
  ++rows_;
  return kStored;
}

uint64_t RowStore::After(uint64_t place, uint32_t length) const {
  if (place & kInFile) return place + 4 + length;
  const uint32_t chunk = static_cast<uint32_t>(place >> 32);
  const uint32_t next = static_cast<uint32_t>(place) + 4 + length;
  if (next < chunks_[chunk].used) return (static_cast<uint64_t>(chunk) << 32) | next;
  // The chunk ends here: the next row starts the next chunk, or the file.
  return chunk + 1 < chunkCount_ ? static_cast<uint64_t>(chunk + 1) << 32 : kInFile;
}

RowStore::Outcome RowStore::LengthAt(uint64_t place, uint32_t* length) {
  if (place & kInFile) return file_.ReadAt(place & ~kInFile, length, 4) ? kStored : kFileFailed;
  const Chunk& c = chunks_[place >> 32];
  std::memcpy(length, c.bytes + static_cast<uint32_t>(place), 4);
  return kStored;
}

RowStore::Outcome RowStore::Read(uint64_t row, const uint8_t** bytes, uint32_t* length) {
  uint64_t place = 0;
  uint32_t size = 0;
  uint64_t at = 0;
  if (lastRow_ != UINT64_MAX && lastRow_ <= row && row - lastRow_ < kStride) {
    at = lastRow_;
    place = lastPlace_;
    size = lastLength_;
  } else {
    at = row - row % kStride;
    place = index_[row / kStride];
    if (LengthAt(place, &size) != kStored) return kFileFailed;
  }
  for (; at < row; ++at) {
    place = After(place, size);
    if (LengthAt(place, &size) != kStored) return kFileFailed;
  }
  lastRow_ = row;
  lastPlace_ = place;
  lastLength_ = size;
  *length = size;
  if ((place & kInFile) == 0) {
    *bytes = chunks_[place >> 32].bytes + static_cast<uint32_t>(place) + 4;
    return kStored;
  }
  if (size > scratchSize_ || scratch_ == nullptr) {
    uint8_t* room = static_cast<uint8_t*>(VelAlloc(size > 0 ? size : 1));
    if (room == nullptr) return kNoMemory;
    VelFree(scratch_);
    scratch_ = room;
    scratchSize_ = size;
  }
  if (size > 0 && !file_.ReadAt((place & ~kInFile) + 4, scratch_, size)) return kFileFailed;
  *bytes = scratch_;
  return kStored;
}
