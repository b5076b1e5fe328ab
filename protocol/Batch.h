// The elements of executing many parameter sets per round trip: the sets
// of the execute-batch request (parameterSets) and the outcome of each set
// in its reply (batchOutcomes). protocol/BATCH.md describes the extension
// as a whole; the offer is batchType (protocol/Extensions.h).
#ifndef VELORA_PROTOCOL_BATCH_H
#define VELORA_PROTOCOL_BATCH_H

#include <cstdint>

#include "protocol/Element.h"
#include "protocol/WireNumbers.h"

// The batch types a server offers, as the batchType element carries them.
enum BatchTypeValue : int32_t {
  kBatchNone = 0,  // one execute request per parameter set (every server)
  kBatchSets = 1,  // the execute-batch request as well
};

// What the server does after a set that fails (the batchMode element).
enum BatchModeValue : int32_t {
  kBatchGoOn = 0,  // runs the remaining sets
  kBatchStop = 1,  // runs no further set
};

// A 16-bit count n, then n items held as the bytes that travel, so that
// many sets or outcomes cost one allocation. Items are appended by the
// sender and read one at a time by the receiver.
class ByteListElement : public Element {
 public:
  static constexpr uint32_t kMaxItems = 65535;
  ByteListElement() = default;
  ~ByteListElement() override;
  ByteListElement(const ByteListElement&) = delete;
  ByteListElement& operator=(const ByteListElement&) = delete;

  bool PutElement(ElementCursor* cursor, int* status) override;
  uint32_t ElementSize() const override { return length_ + 2; }
  uint32_t Items() const { return count_; }
  // Forgets every item (the element can be filled again; its memory stays).
  void Clear() { length_ = count_ = offset_ = taken_ = 0; }

 protected:
  // Keeps the count items that start at cursor after checking each with
  // skip (which advances over one item or fails with *status set).
  bool TakeItems(ElementCursor* cursor, int* status, bool (*skip)(ElementCursor*, int*));
  bool Reserve(uint64_t more);
  // The bytes not yet read by the receiver.
  ElementCursor ReadCursor() { return {bytes_ + offset_, bytes_ + length_}; }
  ElementCursor WriteCursor() { return {bytes_ + length_, bytes_ + capacity_}; }
  uint8_t* bytes_ = nullptr;
  uint32_t length_ = 0;
  uint32_t capacity_ = 0;
  uint32_t count_ = 0;
  uint32_t offset_ = 0;  // where the receiver reads next
  uint32_t taken_ = 0;   // items read by the receiver
};

// The parameter sets of one execute-batch request: each encoded as a
// parameterDataSetElement (16-bit count, then parameterDataElement
// encodings: number, SQL type, null flag, length, data).
class ParameterSetsElement final : public ByteListElement {
 public:
  static constexpr int kId = El::kParameterSets;
  bool GetElement(ElementCursor* cursor, int* status) override;
  int ElementId() const override { return kId; }

  // Sender: a set begins, values are appended to it, and it ends (or is
  // dropped: the bytes since BeginSet are forgotten). False when memory
  // runs out or the element holds kMaxItems sets.
  bool BeginSet();
  bool AppendValue(uint16_t number, int32_t sqlType, const void* data, uint32_t length,
                   bool isNull);
  void EndSet();
  void DropSet();

  // Receiver: the next set's value count (false when no set is left), then
  // each of its values in turn; data points into the element.
  bool NextSet(uint16_t* values);
  void NextValue(uint16_t* number, int16_t* sqlType, bool* isNull, const uint8_t** data,
                 uint32_t* length);

 private:
  uint32_t setStart_ = 0;  // where the set being appended begins
  uint16_t setValues_ = 0;
};

// One set's outcome as the batchOutcomes element carries it: its return
// code and row count (-1 not known), and with a return code other than 0
// its diagnostic record (the fields of the get-error reply).
struct BatchOutcome {
  int16_t returnCode = 0;
  int32_t rows = -1;
  const char* sqlstate = "";
  uint16_t sqlstateLength = 0;
  int32_t native = 0;
  const char* text = "";
  uint16_t textLength = 0;
  const char* file = "";
  uint16_t fileLength = 0;
  int16_t line = 0;
};

class BatchOutcomesElement final : public ByteListElement {
 public:
  static constexpr int kId = El::kBatchOutcomes;
  bool GetElement(ElementCursor* cursor, int* status) override;
  int ElementId() const override { return kId; }

  // Sender; texts longer than a string element carries are cut. False when
  // memory runs out or the element holds kMaxItems outcomes.
  bool Append(const BatchOutcome& outcome);
  // Receiver: the next outcome (its texts point into the element, not
  // NUL-terminated); false when none is left.
  bool Next(BatchOutcome* outcome);
};

#endif
