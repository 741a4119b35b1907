// Animation: one AnimationSet per segment with an Animation per registered node, each
// holding AnimationKey objects sampled at a fixed rate or taken at the controller's keys.
#pragma once

#include <cstdint>
#include <vector>

#include "platform/max/Max.h"
#include "xfile/XFile.h"

class TarvoDirectXMaxExporter;
struct AnimSegment;

// Writes one AnimationSet per segment at the top of the file, with one Animation per node
// the walk registered. Stops silently at the first set, animation, reference or options
// object that cannot be added; what was written before stays.
void WriteAnimationSets(TarvoDirectXMaxExporter& exporter, const XParent& parent);

// ---- Key layouts -------------------------------------------------------------------------

enum class AnimationKeyType : std::uint32_t { Rotation = 0, Scale = 1, Position = 2, Matrix = 4 };

// The records of an AnimationKey payload as the template lays them out.
struct PackedKeyHeader {  // keyType, nKeys
    std::uint32_t keyType;
    std::uint32_t keyCount;
};
struct PackedRotationKey {  // time, 4, w x y z
    std::uint32_t time, valueCount;
    float w, x, y, z;
};
struct PackedVectorKey {  // time, 3, x y z
    std::uint32_t time, valueCount;
    float x, y, z;
};
struct PackedMatrixKey {  // time, 16, a Matrix4x4
    std::uint32_t time, valueCount;
    float m[16];
};
struct PackedAnimationOptions {  // openclosed, positionquality
    std::uint32_t openClosed, positionQuality;
};
static_assert(sizeof(PackedKeyHeader) == 8);
static_assert(sizeof(PackedRotationKey) == 24);
static_assert(sizeof(PackedVectorKey) == 20);
static_assert(sizeof(PackedMatrixKey) == 72);
static_assert(sizeof(PackedAnimationOptions) == 8);

// ---- Key times ---------------------------------------------------------------------------

// The sample times of a segment: start, start + step, ... up to end, compared as signed
// ticks, so a segment that begins before time 0 is sampled like any other. Empty when start
// lies after end; end itself only when end − start is a multiple of the step.
std::vector<TimeValue> SampleTimes(TimeValue start, TimeValue end, std::int32_t step);
// The times at which the node's transform controller has keys of the components in `flags`
// (KEYAT_POSITION, KEYAT_ROTATION, KEYAT_SCALE) within [start, end], completed by the
// segment's ends: start in front unless it is the first key, end behind unless it is the
// last. With no keys at all the list is start, end.
std::vector<TimeValue> CollectKeyTimes(INode* node, TimeValue start, TimeValue end, DWORD flags);
// The time written for the key at `index` of a key list: its index with the key-sequence
// timeline, else its ticks after the segment start.
std::uint32_t KeyTime(std::int32_t timeLine, std::size_t index, TimeValue time, TimeValue start);

// ---- Axis conversion ---------------------------------------------------------------------

// With leftHanded exactly 1: y and z exchanged. Otherwise unchanged.
void FlipVectorYZ(const TarvoDirectXMaxExporter& exporter, Point3& vector);
// With leftHanded exactly 1: y and z exchanged and w negated, the rotation seen in the
// mirror. Otherwise unchanged.
void FlipQuatYZ(const TarvoDirectXMaxExporter& exporter, Quat& quat);

// ---- Key writers -------------------------------------------------------------------------

// The node whose frame an animated node's frame hangs in, the node its keys are relative
// to; null for a frame at the top level of the file.
struct AnimatedNode {
    INode* node = nullptr;
    INode* frameParent = nullptr;
};

// Each writer adds its AnimationKey under `animation` and returns the number of keys it
// wrote (0 when nothing was added). Matrix writers add nothing for fewer than two keys;
// the rotation, scale and position writers add their object whatever the count.
std::uint32_t WriteMatrixKeys(const TarvoDirectXMaxExporter& exporter, const AnimatedNode& node,
                              const XParent& animation, TimeValue start, TimeValue end);
std::uint32_t WriteRotationKeys(const TarvoDirectXMaxExporter& exporter, const AnimatedNode& node,
                                const XParent& animation, TimeValue start, TimeValue end);
std::uint32_t WriteScaleKeys(const TarvoDirectXMaxExporter& exporter, const AnimatedNode& node,
                             const XParent& animation, TimeValue start, TimeValue end);
std::uint32_t WritePositionKeys(const TarvoDirectXMaxExporter& exporter, const AnimatedNode& node,
                                const XParent& animation, TimeValue start, TimeValue end);

std::uint32_t WriteMatrixKeyframes(const TarvoDirectXMaxExporter& exporter,
                                   const AnimatedNode& node, const XParent& animation,
                                   TimeValue start, TimeValue end);
std::uint32_t WriteRotationKeyframes(const TarvoDirectXMaxExporter& exporter,
                                     const AnimatedNode& node, const XParent& animation,
                                     TimeValue start, TimeValue end);
std::uint32_t WriteScaleKeyframes(const TarvoDirectXMaxExporter& exporter, const AnimatedNode& node,
                                  const XParent& animation, TimeValue start, TimeValue end);
std::uint32_t WritePositionKeyframes(const TarvoDirectXMaxExporter& exporter,
                                     const AnimatedNode& node, const XParent& animation,
                                     TimeValue start, TimeValue end);

// The writers above over a list of times: the shared part of sampled and key-frame keys.
std::uint32_t WriteMatrixKeysAt(const TarvoDirectXMaxExporter& exporter, const AnimatedNode& node,
                                const XParent& animation, const std::vector<TimeValue>& times,
                                TimeValue start);
std::uint32_t WriteComponentKeysAt(const TarvoDirectXMaxExporter& exporter,
                                   const AnimatedNode& node, const XParent& animation,
                                   AnimationKeyType type, const std::vector<TimeValue>& times,
                                   TimeValue start);
