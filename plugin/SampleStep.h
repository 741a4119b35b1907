// The length of one animation sample in host ticks: the unit in which segment times are
// stored in the settings and shown in the segment editor, and the sampling interval of
// the sampled animation keys. Everything that converts between ticks and samples goes
// through this one function.
#pragma once

#include <algorithm>
#include <cstdint>

// ticksPerSecond is the host's frame rate times its ticks per frame; keyFrameStep is the
// sampling rate in samples per second.
//
// The result is never below 1. A sampling rate above the host's ticks per second would
// otherwise give 0 ticks per sample, and every conversion divides by it; a rate below 1
// (only an old or damaged settings file can hold one) is treated as 1 sample per second.
constexpr std::int32_t SampleStep(std::int32_t ticksPerSecond, std::int32_t keyFrameStep) {
    const std::int32_t samplesPerSecond = std::max<std::int32_t>(keyFrameStep, 1);
    return std::max<std::int32_t>(ticksPerSecond / samplesPerSecond, 1);
}
