// The elements of fetching many rows per round trip: the offer a server
// appends to its connect reply (fetchType) and the block of rows of the
// fetch-block reply (numberOfRowsInSet). protocol/BLOCKS.md describes the
// extension as a whole.
#ifndef VELORA_PROTOCOL_ROWBLOCK_H
#define VELORA_PROTOCOL_ROWBLOCK_H

#include <cstdint>

#include "protocol/BasicElements.h"
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
// order). The rows are kept as the bytes that arrived and decoded one at
// a time, so that a block costs one allocation however many rows it has.
class RowBlockElement final : public Element {
 public:
  static constexpr int kId = El::kNumberOfRowsInSet;
  static constexpr uint32_t kMaxRows = 65535;

  RowBlockElement() = default;
  ~RowBlockElement() override;
  RowBlockElement(const RowBlockElement&) = delete;
  RowBlockElement& operator=(const RowBlockElement&) = delete;

  // Checks that count well-formed rows follow before anything is kept.
  bool GetElement(ElementCursor* cursor, int* status) override;
  bool PutElement(ElementCursor* cursor, int* status) override;
  int ElementId() const override { return kId; }
  uint32_t ElementSize() const override { return length_ + 2; }

  // Sender side: encodes row after the rows already held. False when
  // memory runs out or the block holds kMaxRows rows (nothing changes).
  bool AppendRow(FetchDataSetElement* row);
  // Sender side, value by value: a row of count values, then each value
  // in fetchData form. False when memory runs out or the block is full.
  bool BeginRow(uint16_t count);
  bool AppendValue(uint16_t column, const void* data, uint32_t length, bool isNull);

  // Receiver side: decodes the next row into row; false when no row is
  // left, or (with *status set) when memory runs out.
  bool NextRow(FetchDataSetElement* row, int* status);
  // Receiver side: the next row's encoding as it arrived (checked when
  // the block was read), without decoding it; false when no row is left.
  bool NextRowBytes(const uint8_t** bytes, uint32_t* length);
  uint32_t Rows() const { return count_; }
  // Forgets every row (a sender that could not finish a row).
  void Clear() { Release(); }
  uint32_t RowsLeft() const { return count_ - taken_; }

 private:
  void Release();
  bool Reserve(uint64_t more);
  uint8_t* bytes_ = nullptr;  // the rows' encodings, without the count
  uint32_t length_ = 0;
  uint32_t capacity_ = 0;
  uint32_t count_ = 0;
  uint32_t taken_ = 0;   // rows handed out by NextRow
  uint32_t offset_ = 0;  // where the next row starts
};

#endif
