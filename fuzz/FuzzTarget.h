#pragma once

#include <cstddef>
#include <cstdint>

// The entry every driver defines and libFuzzer calls with each input.
extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size);
