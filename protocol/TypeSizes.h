// The byte sizes of the server's fixed-size parameter forms, reported at
// login and checked by parameter conversion (positions: TypeSizeIndex).
#ifndef VELORA_PROTOCOL_TYPESIZES_H
#define VELORA_PROTOCOL_TYPESIZES_H

#include <cstdint>

#include "protocol/SqlTypeCatalog.h"

struct TypeSizes {
  uint16_t size[kTypeSizeCount];
};

#endif
