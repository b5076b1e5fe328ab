// The option values a connection or a statement holds, one per slot of
// protocol/OptionDefaults.h, starting from the defaults there.
#ifndef VELORA_HANDLES_OPTIONVALUES_H
#define VELORA_HANDLES_OPTIONVALUES_H

#include <cstdint>

#include "protocol/OptionDefaults.h"

class OptionValues {
 public:
  OptionValues() {
    for (int i = 0; i < kOptionSlotCount; ++i) values_[i] = kOptionDefaults[i].value;
  }

  // slot must not be OptionSlot::kNone.
  int32_t Get(OptionSlot slot) const { return values_[static_cast<int>(slot)]; }
  void Set(OptionSlot slot, int32_t value) { values_[static_cast<int>(slot)] = value; }

  int32_t QueryTimeout() const { return Get(OptionSlot::kQueryTimeout); }
  int32_t RowsetSize() const { return Get(OptionSlot::kRowsetSize); }
  // SQL_BIND_TYPE: 0 column-wise, else the size of the application's row.
  int32_t BindType() const { return Get(OptionSlot::kBindType); }
  bool Autocommit() const { return Get(OptionSlot::kAutocommit) != 0; }
  int32_t LoginTimeout() const { return Get(OptionSlot::kLoginTimeout); }

 private:
  int32_t values_[kOptionSlotCount];
};

#endif
