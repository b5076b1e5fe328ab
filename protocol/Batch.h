// The elements of executing many parameter sets per round trip: the sets
// of the execute-batch request (parameterSets) and the outcome of each set
// in its reply (batchOutcomes). protocol/BATCH.md describes the extension
// as a whole; the offer is batchType (protocol/Extensions.h).
#ifndef VELORA_PROTOCOL_BATCH_H
#define VELORA_PROTOCOL_BATCH_H

#include <cstdint>

#include "protocol/ByteList.h"
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
  [[nodiscard]] bool BeginSet();
  [[nodiscard]] bool AppendValue(uint16_t number, int32_t sqlType, const void* data,
                                 uint32_t length, bool isNull);
  void EndSet();
  void DropSet();

  // Receiver: the next set's value count (false when no set is left), then
  // each of its values in turn; data points into the element.
  [[nodiscard]] bool NextSet(uint16_t* values);
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
  [[nodiscard]] bool Append(const BatchOutcome& outcome);
  // Receiver: the next outcome (its texts point into the element, not
  // NUL-terminated); false when none is left.
  [[nodiscard]] bool Next(BatchOutcome* outcome);
};

#endif
