// The offers a server appends to its connect reply after catalogType, in
// this order: batchType, cancelType, streamType. Each is a 16-bit code; 0
// (and a reply that ends before the element) means not offered, so a
// driver sends such a server exactly what it always sent.
#ifndef VELORA_PROTOCOL_EXTENSIONS_H
#define VELORA_PROTOCOL_EXTENSIONS_H

#include "protocol/Offer.h"
#include "protocol/WireNumbers.h"

// Many parameter sets in one execute request.
using BatchTypeElement = OfferElement<El::kBatchType>;
// A query timeout the server enforces, and cancelling a running request.
using CancelTypeElement = OfferElement<El::kCancelType>;
// Blocks of rows sent ahead of the fetch requests.
using StreamTypeElement = OfferElement<El::kStreamType>;

#endif
