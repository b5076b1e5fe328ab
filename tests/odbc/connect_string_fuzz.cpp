// Arbitrary bytes as a SQLDriverConnect connection string: every key is
// looked up and copied into buffers of its login size and into a small
// output buffer, never reading or writing out of bounds.
#include <cstddef>
#include <cstdint>
#include <cstring>

#include "odbc/ConnectString.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size > 4096) return 0;
  // A copy of exactly size bytes, so that any read past them is caught.
  char* text = new char[size ? size : 1];
  if (size) std::memcpy(text, data, size);
  const uint32_t length = static_cast<uint32_t>(size);
  const struct {
    const char* key;
    uint32_t size;
  } keys[] = {{"DSN=", 64}, {"Server=", 64}, {"Service=", 32}, {"User=", 32}, {"Password=", 10}};
  for (const auto& k : keys) {
    char* buffer = new char[k.size];
    if (CopyConnectValue(text, length, k.key, buffer, k.size) && std::strlen(buffer) >= k.size) {
      __builtin_trap();
    }
    delete[] buffer;
  }
  char out[7];
  CopyOutput(text, length, out, sizeof out);
  delete[] text;
  return 0;
}
