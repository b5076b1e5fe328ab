// Values in the application's memory. A length, indicator or count an
// application hands over need not be aligned for its type (row-wise
// bindings pack their fields, driver managers pass fields of their own),
// so they are read and written bytewise.
#ifndef VELORA_BASE_UNALIGNED_H
#define VELORA_BASE_UNALIGNED_H

#include <cstring>

template <typename T>
inline T LoadUnaligned(const T* p) {
  T value;
  std::memcpy(&value, p, sizeof value);
  return value;
}

template <typename T>
inline void StoreUnaligned(T* p, T value) {
  std::memcpy(p, &value, sizeof value);
}

#endif
