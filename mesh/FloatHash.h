// The hash shared by the lookups that find the first equal entry of a list of floats
// (vertex records, normals). Equal values must share a hash, and equality there is float
// ==: so -0.0 hashes as 0.0, and a NaN, which equals nothing, leaves a value without a hash
// (its caller neither looks it up nor inserts it).
#pragma once

#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstring>

// The FNV-1a offset basis and prime start and step the running hash.
constexpr std::uint64_t kFloatHashSeed = 0xCBF29CE484222325ull;
constexpr std::uint64_t kFloatHashPrime = 0x100000001B3ull;
// The final multiplier of MurmurHash3's 64-bit finaliser.
constexpr std::uint64_t kFloatHashSpread = 0xFF51AFD7ED558CCDull;

// Mixes one 32-bit word into a running hash.
inline std::uint64_t MixHashWord(std::uint64_t hash, std::uint32_t word) {
    hash ^= word;
    hash *= kFloatHashPrime;
    return hash ^ (hash >> 29);
}

// Mixes the floats into a running hash, -0.0 as 0.0; false at the first NaN, the hash then
// left part-mixed and of no use.
[[nodiscard]] inline bool MixHashFloats(std::uint64_t& hash, const float* values,
                                        std::size_t count) {
    for (std::size_t i = 0; i < count; ++i) {
        if (std::isnan(values[i])) return false;
        float zeroed = values[i] == 0.0f ? 0.0f : values[i];
        std::uint32_t bits;
        std::memcpy(&bits, &zeroed, sizeof bits);
        hash = MixHashWord(hash, bits);
    }
    return true;
}

// Spreads the high bits over the low 32, the part the lookup table keeps.
inline std::uint64_t FinishHash(std::uint64_t hash) {
    hash ^= hash >> 33;
    hash *= kFloatHashSpread;
    return hash ^ (hash >> 33);
}
