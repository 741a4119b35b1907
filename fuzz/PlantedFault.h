// A fault planted on purpose, to prove that a fuzz target stops at the first report of the
// undefined-behaviour sanitizer and saves the input that caused it. Only a build with
// -DTARVO_FUZZ_PLANTED_FAULT=ON has it; there an input that starts with "PLANTED-FAULT"
// overflows a signed integer.
#pragma once

#include <climits>
#include <cstddef>
#include <cstdint>
#include <cstring>

namespace tarvo::fuzz {

inline void PlantedFault(const std::uint8_t* data, std::size_t size) {
#ifdef TARVO_FUZZ_PLANTED_FAULT
    static constexpr char kTrigger[] = "PLANTED-FAULT";
    if (size < sizeof kTrigger - 1 || std::memcmp(data, kTrigger, sizeof kTrigger - 1) != 0) return;
    volatile int largest = INT_MAX;
    volatile int overflowed = largest + static_cast<int>(size);
    (void)overflowed;
#else
    (void)data, (void)size;
#endif
}

}  // namespace tarvo::fuzz
