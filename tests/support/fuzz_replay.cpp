// Replays a fuzz target's corpus without libFuzzer, so that the plain and
// sanitizer builds (gcc as well as clang) run every kept input as an
// ordinary test: each file named on the command line is given to the
// target's entry function once.
#include <cstdint>
#include <cstdio>
#include <fstream>
#include <iterator>
#include <string>

#include "support/fuzz.h"

int main(int argc, char** argv) {
  for (int i = 1; i < argc; ++i) {
    std::ifstream in(argv[i], std::ios::binary);
    const std::string bytes(std::istreambuf_iterator<char>(in), {});
    LLVMFuzzerTestOneInput(reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size());
  }
  std::printf("%d inputs replayed\n", argc - 1);
  return argc > 1 ? 0 : 1;  // an empty or missing corpus is a failure
}
