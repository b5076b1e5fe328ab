// The offers of the catalog requests beyond the basic four (protocol/KEYS.md):
// the primary-keys and foreign-keys requests, and the procedure and
// privilege requests, each sent only to a server whose connect reply
// offered them.
#ifndef VELORA_PROTOCOL_KEYSOFFER_H
#define VELORA_PROTOCOL_KEYSOFFER_H

#include <cstdint>

#include "protocol/Offer.h"
#include "protocol/WireNumbers.h"

// The catalog requests a server offers, as the catalogType element
// carries them.
enum CatalogTypeValue : int32_t {
  kCatalogBasic = 0,  // tables, columns, statistics, special columns (every server)
  kCatalogKeys = 1,   // the primary-keys and foreign-keys requests as well
  // In a columns, type-information or foreign-keys request: the result set
  // with the columns ODBC 3 adds (protocol/CATALOG3.md).
  kCatalogOdbc3 = 2,
};

using CatalogTypeElement = OfferElement<El::kCatalogType>;

// The offer of the procedure and privilege requests, after describeType.
using RoutineTypeElement = OfferElement<El::kRoutineType>;
enum RoutineTypeValue : int32_t { kRoutinesNone = 0, kRoutinesAndRights = 1 };

#endif
