// The byte sizes of the server's fixed-size value forms, reported at login
// and checked by parameter conversion.
#ifndef VELORA_PROTOCOL_TYPESIZES_H
#define VELORA_PROTOCOL_TYPESIZES_H

#include <cstdint>

// Positions in TypeSizes::size, in the order the server sends them.
enum TypeSizeIndex : int {
  kSizeBigint,
  kSizeBit,
  kSizeDate,
  kSizeDecimal,
  kSizeDouble,
  kSizeFloat,
  kSizeInteger,
  kSizeNumeric,
  kSizeReal,
  kSizeSmallint,
  kSizeTime,
  kSizeTimestamp,
  kSizeTinyint,
  kTypeSizeCount
};

struct TypeSizes {
  uint16_t size[kTypeSizeCount];
};

#endif
