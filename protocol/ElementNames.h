// Names of the protocol elements and of the values of the enumerated
// elements. They serve trace lines only; nothing on the wire names an
// element.
#ifndef VELORA_PROTOCOL_ELEMENTNAMES_H
#define VELORA_PROTOCOL_ELEMENTNAMES_H

#include <cstdint>

#include "protocol/WireNumbers.h"

// The element's name, or "<unknown>" for a number no element has. The names
// are constants: no shared buffer is overwritten by the next call.
const char* ElementName(int elementId);

// The symbol of value in the value-name table of the enumerated element
// elementId, or "<unknown>" when the value (or the element) has no entry.
const char* ValueName(int elementId, int32_t value);

// True when elementId has a value-name table (errorCode has none and is
// traced by number).
bool HasValueNames(int elementId);

#endif
