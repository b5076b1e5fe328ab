// The entry function every fuzz target defines; libFuzzer, or
// fuzz_replay.cpp in the plain builds, calls it with each input.
#ifndef VELORA_TESTS_SUPPORT_FUZZ_H
#define VELORA_TESTS_SUPPORT_FUZZ_H

#include <cstddef>
#include <cstdint>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size);

#endif
