// The options a connection keeps, each with the request that tells a
// session about it and its value until it is set: the one table that the
// driver's connections and statements start from, that the driver's login
// compares with (it sends only what differs), and that a session on the
// server starts from.
#ifndef VELORA_PROTOCOL_OPTIONDEFAULTS_H
#define VELORA_PROTOCOL_OPTIONDEFAULTS_H

#include <cstdint>

#include "protocol/WireNumbers.h"

// X(Slot, request, default): request 0 is an option the driver keeps
// alone. Sessions are told in this order.
#define VEL_OPTION_SLOTS(X)                 \
  X(AccessMode, Msg::kSetAccessMode, 0)     \
  X(Autocommit, Msg::kSetAutocommit, 1)     \
  X(TxnIsolation, Msg::kSetIsolation, 8)    \
  X(MaxRows, Msg::kSetMaxRows, 0)           \
  X(Noscan, Msg::kSetNoscan, 0)             \
  X(MaxLength, Msg::kSetMaxLength, 0)       \
  X(CursorType, Msg::kSetCursorType, 0)     \
  X(Concurrency, Msg::kSetConcurrency, 1)   \
  X(RowsetSize, Msg::kSetRowsetSize, 1)     \
  X(RetrieveData, Msg::kSetRetrieveData, 1) \
  X(UseBookmarks, Msg::kSetUseBookmarks, 0) \
  X(QueryTimeout, 0, 0)                     \
  X(BindType, 0, 0)                         \
  X(LoginTimeout, 0, 15)

enum class OptionSlot : uint8_t {
#define VEL_OPTION_SLOT_ENUMERATOR(Slot, request, value) k##Slot,
  VEL_OPTION_SLOTS(VEL_OPTION_SLOT_ENUMERATOR)
#undef VEL_OPTION_SLOT_ENUMERATOR
      kCount,
  kNone = kCount,  // an option kept in no slot
};

struct OptionDefault {
  OptionSlot slot;
  uint16_t request;  // 0: never sent
  int32_t value;
};

// In OptionSlot order.
constexpr OptionDefault kOptionDefaults[] = {
#define VEL_OPTION_DEFAULT_ROW(Slot, request, value) {OptionSlot::k##Slot, request, value},
    VEL_OPTION_SLOTS(VEL_OPTION_DEFAULT_ROW)
#undef VEL_OPTION_DEFAULT_ROW
};
constexpr int kOptionSlotCount = static_cast<int>(OptionSlot::kCount);
static_assert(sizeof kOptionDefaults / sizeof kOptionDefaults[0] == kOptionSlotCount,
              "one default per slot");

constexpr const OptionDefault& OptionDefaultOf(OptionSlot slot) {
  return kOptionDefaults[static_cast<int>(slot)];
}
constexpr int32_t DefaultOptionValue(OptionSlot slot) { return OptionDefaultOf(slot).value; }

#endif
