// Arbitrary bytes as a SQLDriverConnect connection string: every key is
// looked up and copied into buffers of its login size and into a small
// output buffer, never reading or writing out of bounds.
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <utility>
#include <vector>

#include "odbc/connect/ConnectString.h"
#include "support/fuzz.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size > 4096) return 0;
  // Copies of exactly their size (a byte for no bytes: never a null
  // pointer), so that any access past them is caught.
  std::vector<char> text(size > 0 ? size : 1), out(7);
  if (size > 0) std::memcpy(text.data(), data, size);
  const std::pair<const char*, size_t> keys[] = {
      {"DSN", 64}, {"Server", 64}, {"Service", 32}, {"User", 32}, {"PWD", 1}};
  for (const auto& k : keys) {
    std::vector<char> buffer(k.second);
    if (CopyConnectValue(text.data(), static_cast<uint32_t>(size), k.first, buffer.data(),
                         static_cast<uint32_t>(k.second)) &&
        strnlen(buffer.data(), k.second) == k.second) {
      __builtin_trap();  // no NUL within the buffer
    }
  }
  CopyOutput(text.data(), static_cast<uint32_t>(size), out.data(), static_cast<long>(out.size()));
  return 0;
}
