// The elements of fetching many rows per round trip: the offer a server
// appends to its connect reply (fetchType) and the block of rows of the
// fetch-block reply (numberOfRowsInSet). protocol/BLOCKS.md describes the
// extension as a whole.
#ifndef VELORA_PROTOCOL_ROWBLOCK_H
#define VELORA_PROTOCOL_ROWBLOCK_H

#include <cstdint>

#include "protocol/BasicElements.h"
#include "protocol/ByteList.h"
#include "protocol/DataSets.h"
#include "protocol/Offer.h"
#include "protocol/WireNumbers.h"

// The fetch types a server offers, as the fetchType element carries them.
enum FetchTypeValue : int32_t {
  kFetchOneRow = 0,  // one row per fetch request (every server)
  kFetchBlock = 1,   // the fetch-block request as well
};

// After nativeLengthValues in the connect reply; kFetchOneRow when absent.
using FetchTypeElement = OfferElement<El::kFetchType>;

// 16-bit count n, then n fetchDataSet encodings (one per row, in cursor
// order), kept as the bytes that arrived and decoded one at a time.
class RowBlockElement final : public ByteListElement {
 public:
  static constexpr int kId = El::kNumberOfRowsInSet;
  static constexpr uint32_t kMaxRows = kMaxItems;

  // Checks that count well-formed rows follow before anything is kept.
  [[nodiscard]] bool GetElement(ElementCursor* cursor, int* status) override;
  int ElementId() const override { return kId; }
  // Keeps a small buffer for the next block; a large one goes.
  bool Reset() override;

  // Sender side: encodes row after the rows already held. False when
  // memory runs out or the block holds kMaxRows rows (nothing changes).
  [[nodiscard]] bool AppendRow(FetchDataSetElement* row);
  // Sender side, value by value: a row of count values, then each value
  // in fetchData form. False when memory runs out or the block is full.
  [[nodiscard]] bool BeginRow(uint16_t count);
  [[nodiscard]] bool AppendValue(uint16_t column, const void* data, uint32_t length, bool isNull);

  // Receiver side: decodes the next row into row; false when no row is
  // left, or (with *status set) when memory runs out.
  [[nodiscard]] bool NextRow(FetchDataSetElement* row, int* status);
  // Receiver side: the next row's encoding as it arrived (checked when
  // the block was read), without decoding it; false when no row is left.
  [[nodiscard]] bool NextRowBytes(const uint8_t** bytes, uint32_t* length);
  uint32_t Rows() const { return count_; }
  uint32_t RowsLeft() const { return count_ - taken_; }
};

#endif
