// The AnimationKey writers: the times a key list is taken at, the node's transform at each
// time, its conversion to the file's axes and the payload.

#include "anim/Animation.h"
#include "platform/d3dx/XPayloadWriter.h"
#include "plugin/Exporter.h"
#include "plugin/SampleStep.h"

namespace {

constexpr std::uint32_t kMatrixValueCount = 16;
constexpr std::uint32_t kQuatValueCount = 4;
constexpr std::uint32_t kVectorValueCount = 3;
// Every component of a node's transform, for the matrix keys.
constexpr DWORD kAllKeyComponents = KEYAT_POSITION | KEYAT_ROTATION | KEYAT_SCALE;
std::int32_t HostSampleStep() {
    return GetFrameRate() * GetTicksPerFrame();
}

// The matrix of a key: the placement the node's Frame holds, at the key's time.
Matrix3 KeyMatrix(const TarvoDirectXMaxExporter& exporter, const AnimatedNode& animated,
                  TimeValue t) {
    return PlacementInFrame(exporter, animated.node, animated.frameParent, t);
}

// The transform a rotation, scale or position key is taken from: the same placement as the
// matrix keys without the bitwise shortcut, which decomposes to the same parts.
Matrix3 ComponentMatrix(const TarvoDirectXMaxExporter& exporter, const AnimatedNode& animated,
                        TimeValue t) {
    if (exporter.options.frameSetting == kFrameSettingTopFrameOnly)
        return animated.node->GetObjTMAfterWSM(t);
    Matrix3 placement = animated.node->GetNodeTM(t);
    if (animated.frameParent == nullptr) return placement;
    return placement * Inverse(animated.frameParent->GetNodeTM(t));
}

std::size_t KeyRecordBytes(AnimationKeyType type) {
    switch (type) {
        case AnimationKeyType::Rotation:
            return sizeof(PackedRotationKey);
        case AnimationKeyType::Matrix:
            return sizeof(PackedMatrixKey);
        case AnimationKeyType::Scale:
        case AnimationKeyType::Position:
            break;
    }
    return sizeof(PackedVectorKey);
}

void AppendComponentKey(const TarvoDirectXMaxExporter& exporter, AnimationKeyType type,
                        const AffineParts& parts, std::uint32_t time,
                        d3dx::XPayloadWriter& payload) {
    payload.Dword(time);
    if (type == AnimationKeyType::Rotation) {
        Quat q = parts.q;
        FlipQuatYZ(exporter, q);
        payload.Dword(kQuatValueCount).Floats({q.w, q.x, q.y, q.z});
        return;
    }
    Point3 v = type == AnimationKeyType::Scale ? parts.k : parts.t;
    FlipVectorYZ(exporter, v);
    payload.Dword(kVectorValueCount).Floats({v.x, v.y, v.z});
}

std::uint32_t WriteComponentKeyframes(const TarvoDirectXMaxExporter& exporter,
                                      const AnimatedNode& node, const XParent& animation,
                                      AnimationKeyType type, DWORD flags, const char* countLine,
                                      TimeValue start, TimeValue end) {
    std::vector<TimeValue> times = CollectKeyTimes(node.node, start, end, flags);
    DebugPrint(countLine, static_cast<int>(times.size()));
    return WriteComponentKeysAt(exporter, node, animation, type, times, start);
}

}  // namespace

std::vector<TimeValue> SampleTimes(TimeValue start, TimeValue end, std::int32_t step) {
    std::vector<TimeValue> times;
    if (start > end || step < 1) return times;
    // Counted in 64 bits: a segment may span the whole signed range of host time.
    const std::int64_t span = static_cast<std::int64_t>(end) - start;
    const std::int64_t count = span / step + 1;
    times.reserve(static_cast<std::size_t>(count));
    for (std::int64_t k = 0; k < count; ++k)
        times.push_back(static_cast<TimeValue>(start + k * step));
    return times;
}

std::vector<TimeValue> CollectKeyTimes(INode* node, TimeValue start, TimeValue end, DWORD flags) {
    Tab<TimeValue> found;
    if (Control* controller = node->GetTMController())
        controller->GetKeyTimes(found, Interval(start, end), flags);
    std::vector<TimeValue> times;
    for (int i = 0; i < found.Count(); ++i) times.push_back(found[i]);
    if (times.empty()) return {start, end};
    if (times.front() != start) times.insert(times.begin(), start);
    if (times.back() != end) times.push_back(end);
    return times;
}

std::uint32_t KeyTime(std::int32_t timeLine, std::size_t index, TimeValue time, TimeValue start) {
    if (timeLine == kTimeLineKeySequence) return static_cast<std::uint32_t>(index);
    // Key times count from the segment start; they are never negative, however far before
    // time 0 the segment begins.
    return static_cast<std::uint32_t>(static_cast<std::int64_t>(time) - start);
}

void FlipVectorYZ(const TarvoDirectXMaxExporter& exporter, Point3& vector) {
    if (exporter.options.leftHanded != 1) return;
    std::swap(vector.y, vector.z);
}

void FlipQuatYZ(const TarvoDirectXMaxExporter& exporter, Quat& quat) {
    if (exporter.options.leftHanded != 1) return;
    std::swap(quat.y, quat.z);
    quat.w = -quat.w;
}

std::uint32_t WriteMatrixKeysAt(const TarvoDirectXMaxExporter& exporter, const AnimatedNode& node,
                                const XParent& animation, const std::vector<TimeValue>& times,
                                TimeValue start) {
    DebugPrint("Matrix Node Keys = %ld \n", static_cast<long>(times.size()));
    // One matrix does not animate anything: the Frame already holds it.
    if (times.size() < 2) return 0;
    d3dx::XPayloadWriter payload;
    if (!payload.Reserve(sizeof(PackedKeyHeader) + times.size() * sizeof(PackedMatrixKey)))
        return 0;
    payload.Dword(static_cast<std::uint32_t>(AnimationKeyType::Matrix));
    payload.Dword(static_cast<std::uint32_t>(times.size()));
    for (std::size_t i = 0; i < times.size(); ++i) {
        Matrix3 m = KeyMatrix(exporter, node, times[i]);
        FlipMatrixYZ(exporter, m);
        float values[kMatrixValueCount];
        MatrixToXFile(m, values);
        payload.Dword(KeyTime(exporter.options.timeLine, i, times[i], start));
        payload.Dword(kMatrixValueCount);
        for (float value : values) payload.Float(value);
    }
    // A key object that cannot be added leaves the Animation without it; the count stands.
    (void)animation.AddLeaf(TID_D3DRMAnimationKey, nullptr, payload.Size(), payload.Data());
    return static_cast<std::uint32_t>(times.size());
}

std::uint32_t WriteComponentKeysAt(const TarvoDirectXMaxExporter& exporter,
                                   const AnimatedNode& node, const XParent& animation,
                                   AnimationKeyType type, const std::vector<TimeValue>& times,
                                   TimeValue start) {
    d3dx::XPayloadWriter payload;
    if (!payload.Reserve(sizeof(PackedKeyHeader) + times.size() * KeyRecordBytes(type))) return 0;
    payload.Dword(static_cast<std::uint32_t>(type));
    payload.Dword(static_cast<std::uint32_t>(times.size()));
    for (std::size_t i = 0; i < times.size(); ++i) {
        AffineParts parts;
        decomp_affine(ComponentMatrix(exporter, node, times[i]), &parts);
        AppendComponentKey(exporter, type, parts,
                           KeyTime(exporter.options.timeLine, i, times[i], start), payload);
    }
    DebugPrint("Node counter = %ld\n", static_cast<long>(times.size()));
    // A key object that cannot be added leaves the Animation without it; the count stands.
    (void)animation.AddLeaf(TID_D3DRMAnimationKey, nullptr, payload.Size(), payload.Data());
    return static_cast<std::uint32_t>(times.size());
}

// ---- Sampled keys --------------------------------------------------------------------------

std::uint32_t WriteMatrixKeys(const TarvoDirectXMaxExporter& exporter, const AnimatedNode& node,
                              const XParent& animation, TimeValue start, TimeValue end) {
    DebugPrint("StartTime: %ld, EndTime: %ld\n", static_cast<long>(start), static_cast<long>(end));
    std::int32_t step = SampleStep(HostSampleStep(), exporter.options.keyFrameStep);
    return WriteMatrixKeysAt(exporter, node, animation, SampleTimes(start, end, step), start);
}

std::uint32_t WriteRotationKeys(const TarvoDirectXMaxExporter& exporter, const AnimatedNode& node,
                                const XParent& animation, TimeValue start, TimeValue end) {
    std::int32_t step = SampleStep(HostSampleStep(), exporter.options.keyFrameStep);
    return WriteComponentKeysAt(exporter, node, animation, AnimationKeyType::Rotation,
                                SampleTimes(start, end, step), start);
}

std::uint32_t WriteScaleKeys(const TarvoDirectXMaxExporter& exporter, const AnimatedNode& node,
                             const XParent& animation, TimeValue start, TimeValue end) {
    std::int32_t step = SampleStep(HostSampleStep(), exporter.options.keyFrameStep);
    return WriteComponentKeysAt(exporter, node, animation, AnimationKeyType::Scale,
                                SampleTimes(start, end, step), start);
}

std::uint32_t WritePositionKeys(const TarvoDirectXMaxExporter& exporter, const AnimatedNode& node,
                                const XParent& animation, TimeValue start, TimeValue end) {
    std::int32_t step = SampleStep(HostSampleStep(), exporter.options.keyFrameStep);
    return WriteComponentKeysAt(exporter, node, animation, AnimationKeyType::Position,
                                SampleTimes(start, end, step), start);
}

// ---- Keys at the controller's key frames ---------------------------------------------------

std::uint32_t WriteMatrixKeyframes(const TarvoDirectXMaxExporter& exporter,
                                   const AnimatedNode& node, const XParent& animation,
                                   TimeValue start, TimeValue end) {
    std::vector<TimeValue> times = CollectKeyTimes(node.node, start, end, kAllKeyComponents);
    if (!times.empty()) DebugPrint("Matrix keys: %d\n", static_cast<int>(times.size()));
    for (std::size_t i = 0; i < times.size(); ++i)
        DebugPrint("TimeValue: %d %d\n", static_cast<int>(i), static_cast<int>(times[i]));
    return WriteMatrixKeysAt(exporter, node, animation, times, start);
}

std::uint32_t WriteRotationKeyframes(const TarvoDirectXMaxExporter& exporter,
                                     const AnimatedNode& node, const XParent& animation,
                                     TimeValue start, TimeValue end) {
    return WriteComponentKeyframes(exporter, node, animation, AnimationKeyType::Rotation,
                                   KEYAT_ROTATION, "Rotation keys: %d\n", start, end);
}

std::uint32_t WriteScaleKeyframes(const TarvoDirectXMaxExporter& exporter, const AnimatedNode& node,
                                  const XParent& animation, TimeValue start, TimeValue end) {
    return WriteComponentKeyframes(exporter, node, animation, AnimationKeyType::Scale, KEYAT_SCALE,
                                   "Scale keys: %d\n", start, end);
}

std::uint32_t WritePositionKeyframes(const TarvoDirectXMaxExporter& exporter,
                                     const AnimatedNode& node, const XParent& animation,
                                     TimeValue start, TimeValue end) {
    return WriteComponentKeyframes(exporter, node, animation, AnimationKeyType::Position,
                                   KEYAT_POSITION, "Pos keys: %d\n", start, end);
}
