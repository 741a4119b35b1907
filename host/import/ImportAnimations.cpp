// The source's animations as node keys on the host's timeline, one after another, each with
// a stretch of its own, and the export settings the scene carries for them: one segment per
// animation, named after it, so that each becomes one animation set.
//
// Each stretch holds all it needs: a component keyed in one animation gets keys at both
// ends of every stretch, so the host neither slides from one animation into the next nor
// lets another animation's keys reach into a stretch where the component stands still.
#include <algorithm>
#include <cmath>
#include <set>

#include "host/import/ImportAnimations.h"
#include "host/import/ImportStages.h"
#include "plugin/SampleStep.h"
#include "settings/Settings.h"

namespace tarvo::assimpimport {

namespace {

// Assimp's documented rate for a source that names none.
constexpr double kDefaultSourceTicksPerSecond = 25.0;
// An animation longer than this is cut short, so that a damaged duration cannot run the
// tick count past its range.
constexpr double kLongestSeconds = 3600.0;
constexpr const char* kSettingsPropertyName = "TarvoDXExportSettings";
constexpr const char* kUnnamedAnimation = "Animation";
constexpr const char* kDefaultSegmentName = "Anim-1";

// Where one source animation lies on the host's timeline. Source times are seconds from
// sourceStart; host times are ticks.
struct Stretch {
    TimeValue start = 0;
    TimeValue end = 0;
    double sourceStart = 0.0;  // seconds
};

// The host's clock, and the sample grid that segment times are kept on.
struct HostClock {
    TimeValue ticksPerSecond = 0;
    TimeValue sampleStep = 0;
};

HostClock ClockOf(const scene::SceneData& scene) {
    const TimeValue perSecond = scene.frameRate * scene.ticksPerFrame;
    return {perSecond, SampleStep(perSecond, ExportOptions{}.keyFrameStep)};
}

double SourceTicksPerSecond(const aiAnimation& animation) {
    return std::isfinite(animation.mTicksPerSecond) && animation.mTicksPerSecond > 0.0
               ? animation.mTicksPerSecond
               : kDefaultSourceTicksPerSecond;
}

// Seconds kept within 0 and the longest stretch; what is not a number is 0.
double BoundedSeconds(double seconds) {
    return std::isfinite(seconds) ? std::clamp(seconds, 0.0, kLongestSeconds) : 0.0;
}

TimeValue RoundUpToStep(TimeValue ticks, TimeValue step) {
    return (ticks + step - 1) / step * step;
}

template <typename Keys>
void WidenByKeys(const Keys* keys, unsigned count, double& first, double& last) {
    for (unsigned k = 0; k < count; ++k) {
        first = std::min(first, keys[k].mTime);
        last = std::max(last, keys[k].mTime);
    }
}

// The source animation's time range in its own ticks: from 0 (or an earlier key) to its
// duration (or a later key).
std::pair<double, double> SourceRange(const aiAnimation& animation) {
    double first = 0.0, last = std::max(animation.mDuration, 0.0);
    for (unsigned c = 0; c < animation.mNumChannels; ++c) {
        const aiNodeAnim& channel = *animation.mChannels[c];
        WidenByKeys(channel.mPositionKeys, channel.mNumPositionKeys, first, last);
        WidenByKeys(channel.mRotationKeys, channel.mNumRotationKeys, first, last);
        WidenByKeys(channel.mScalingKeys, channel.mNumScalingKeys, first, last);
    }
    return {first, last};
}

// The stretches of all animations, one after another from time 0 with one sample between
// them, each starting and ending on the sample grid so that segment times keep exactly.
std::vector<Stretch> LayOut(const aiScene& source, const HostClock& clock) {
    std::vector<Stretch> stretches;
    TimeValue start = 0;
    for (unsigned a = 0; a < source.mNumAnimations; ++a) {
        const aiAnimation& animation = *source.mAnimations[a];
        const double perSecond = SourceTicksPerSecond(animation);
        const auto [first, last] = SourceRange(animation);
        const double seconds = BoundedSeconds((last - first) / perSecond);
        const auto length = static_cast<TimeValue>(std::llround(seconds * clock.ticksPerSecond));
        // An animation of one moment still lasts a sample, so that the export samples it.
        const TimeValue span = RoundUpToStep(std::max<TimeValue>(length, 1), clock.sampleStep);
        Stretch stretch{start, start + span, first / perSecond};
        stretches.push_back(stretch);
        start = stretch.end + clock.sampleStep;
    }
    return stretches;
}

TimeValue HostTime(const Stretch& stretch, const HostClock& clock, double sourceTicks,
                   double sourcePerSecond) {
    const double seconds = BoundedSeconds(sourceTicks / sourcePerSecond - stretch.sourceStart);
    const TimeValue time =
        stretch.start + static_cast<TimeValue>(std::llround(seconds * clock.ticksPerSecond));
    return std::min(time, stretch.end);
}

// ---- Values in the host's frame ----

// What a top-level node's keys go through, split as the keys are: the whole transform moves
// positions, its turn turns rotations and its scale scales scales (exact when that scale is
// uniform, as an axis change and a unit scale are).
struct KeyTransform {
    bool topLevel = false;
    aiMatrix4x4 matrix;
    aiQuaternion rotation;
    aiVector3D scale{1, 1, 1};
};

KeyTransform KeyTransformOf(const ImportContext& ctx, int node) {
    KeyTransform t;
    t.topLevel = ctx.scene.nodes[static_cast<std::size_t>(node)].parent < 0;
    if (!t.topLevel) return t;
    t.matrix = ctx.topLevelTransform;
    aiVector3D position;
    t.matrix.Decompose(t.scale, t.rotation, position);
    return t;
}

Point3 HostPosition(const KeyTransform& t, const aiVector3D& value) {
    const aiVector3D p = t.topLevel ? t.matrix * value : value;
    return {p.x, p.y, p.z};
}

Quat HostKeyRotation(const KeyTransform& t, const aiQuaternion& value) {
    return HostRotation(t.topLevel ? t.rotation * value : value);
}

Point3 HostScale(const KeyTransform& t, const aiVector3D& value) {
    return {value.x * t.scale.x, value.y * t.scale.y, value.z * t.scale.z};
}

// ---- Keys of one channel ----

// Appends the channel's keys of one component, then holds its first and last values out to
// the stretch's ends.
template <typename SourceKey, typename Value, typename Convert>
void AppendKeys(const SourceKey* keys, unsigned count, const Stretch& stretch,
                const HostClock& clock, double perSecond, Convert convert,
                std::vector<scene::Key<Value>>& track) {
    if (count == 0) return;
    std::vector<scene::Key<Value>> added;
    for (unsigned k = 0; k < count; ++k)
        added.push_back({HostTime(stretch, clock, keys[k].mTime, perSecond), convert(keys[k])});
    std::stable_sort(added.begin(), added.end(),
                     [](const auto& a, const auto& b) { return a.time < b.time; });
    if (added.front().time > stretch.start)
        added.insert(added.begin(), {stretch.start, added.front().value});
    if (added.back().time < stretch.end) added.push_back({stretch.end, added.back().value});
    track.insert(track.end(), added.begin(), added.end());
}

// Which components of which nodes each animation keys, to fill the others afterwards.
struct Keyed {
    std::set<int> position, rotation, scale;
};

void ImportChannel(ImportContext& ctx, const aiNodeAnim& channel, const Stretch& stretch,
                   const HostClock& clock, double perSecond, Keyed& keyed) {
    const auto found = ctx.nodeByName.find(TextOf(channel.mNodeName));
    if (found == ctx.nodeByName.end()) {
        ++ctx.unmapped["animation channel without a node"];
        return;
    }
    const int node = found->second;
    const KeyTransform t = KeyTransformOf(ctx, node);
    scene::Tracks& tracks = ctx.scene.nodes[static_cast<std::size_t>(node)].animation;
    AppendKeys(
        channel.mPositionKeys, channel.mNumPositionKeys, stretch, clock, perSecond,
        [&](const aiVectorKey& k) { return HostPosition(t, k.mValue); }, tracks.position);
    AppendKeys(
        channel.mRotationKeys, channel.mNumRotationKeys, stretch, clock, perSecond,
        [&](const aiQuatKey& k) { return HostKeyRotation(t, k.mValue); }, tracks.rotation);
    AppendKeys(
        channel.mScalingKeys, channel.mNumScalingKeys, stretch, clock, perSecond,
        [&](const aiVectorKey& k) { return HostScale(t, k.mValue); }, tracks.scale);
    if (channel.mNumPositionKeys > 0) keyed.position.insert(node);
    if (channel.mNumRotationKeys > 0) keyed.rotation.insert(node);
    if (channel.mNumScalingKeys > 0) keyed.scale.insert(node);
}

// ---- Holding still where an animation leaves a component alone ----

template <typename Value>
void HoldStill(std::vector<scene::Key<Value>>& track, const Value& rest, const Stretch& stretch) {
    track.push_back({stretch.start, rest});
    track.push_back({stretch.end, rest});
}

// A component that some animation keys stands at the node's own placement through the
// stretches of the animations that do not.
void FillUnkeyed(ImportContext& ctx, const std::vector<Keyed>& keyed,
                 const std::vector<Stretch>& stretches) {
    std::set<int> position, rotation, scale;
    for (const Keyed& k : keyed) {
        position.insert(k.position.begin(), k.position.end());
        rotation.insert(k.rotation.begin(), k.rotation.end());
        scale.insert(k.scale.begin(), k.scale.end());
    }
    for (std::size_t a = 0; a < stretches.size(); ++a) {
        auto fill = [&](const std::set<int>& any, const std::set<int>& here, auto member) {
            for (int node : any) {
                if (here.contains(node)) continue;
                scene::NodeData& n = ctx.scene.nodes[static_cast<std::size_t>(node)];
                HoldStill(n.animation.*member.first, n.transform.*member.second, stretches[a]);
            }
        };
        fill(position, keyed[a].position,
             std::pair(&scene::Tracks::position, &scene::Placement::position));
        fill(rotation, keyed[a].rotation,
             std::pair(&scene::Tracks::rotation, &scene::Placement::rotation));
        fill(scale, keyed[a].scale, std::pair(&scene::Tracks::scale, &scene::Placement::scale));
    }
}

// Keys in ascending time, one per moment: where a rounded time repeats, the later key stays.
template <typename Value>
void SortTrack(std::vector<scene::Key<Value>>& track) {
    std::stable_sort(track.begin(), track.end(),
                     [](const auto& a, const auto& b) { return a.time < b.time; });
    std::vector<scene::Key<Value>> unique;
    for (const auto& key : track) {
        if (!unique.empty() && unique.back().time == key.time)
            unique.back() = key;
        else
            unique.push_back(key);
    }
    track = std::move(unique);
}

void SortTracks(scene::SceneData& scene) {
    for (scene::NodeData& node : scene.nodes) {
        SortTrack(node.animation.position);
        SortTrack(node.animation.rotation);
        SortTrack(node.animation.scale);
    }
}

void CountMorphChannels(ImportContext& ctx, const aiAnimation& animation) {
    const std::size_t morph = animation.mNumMeshChannels + animation.mNumMorphMeshChannels;
    if (morph > 0) ctx.unmapped["morph animation channel"] += morph;
}

// ---- The export settings the scene carries ----

// Source names as the segments' names, each once: an unnamed animation is "Animation N"
// (its place, from 1), and a repeated name gets " 2", " 3"... after it.
std::vector<std::string> SegmentNames(const aiScene& source) {
    std::vector<std::string> names;
    std::set<std::string> taken;
    for (unsigned a = 0; a < source.mNumAnimations; ++a) {
        const aiString& given = source.mAnimations[a]->mName;
        std::string base = given.length > 0 ? TextOf(given) : std::string(kUnnamedAnimation);
        // Appended rather than " " + std::to_string(...): GCC 12 at -O3 takes that
        // concatenation's inlined memcpy for an overlapping one (a false -Wrestrict).
        if (given.length == 0) base.append(" ").append(std::to_string(a + 1));
        std::string name = base;
        for (int n = 2; taken.contains(name); ++n) name = base + " " + std::to_string(n);
        taken.insert(name);
        names.push_back(name);
    }
    return names;
}

bool HasSkin(const scene::SceneData& scene) {
    for (const scene::NodeData& node : scene.nodes)
        for (const scene::DerivedData& derived : node.derived)
            for (const scene::ModifierData& modifier : derived.modifiers)
                if (modifier.kind == scene::ModifierKind::Skin && !modifier.skin.bones.empty())
                    return true;
    return false;
}

void StoreSettings(ImportContext& ctx, const ExportOptions& options, const HostClock& clock) {
    const SceneTiming timing{clock.ticksPerSecond, ctx.scene.animStart, ctx.scene.animEnd};
    auto& properties = ctx.scene.fileProperties;
    std::erase_if(properties, [](const scene::FileProperty& p) {
        return p.named && p.name == kSettingsPropertyName;
    });
    scene::FileProperty property;
    property.name = kSettingsPropertyName;
    property.text = BuildSettingsText(options, timing, HostRelease());
    properties.push_back(std::move(property));
}

// The exporter's defaults, with the skin written when there is one, and the segments: one
// per animation, or the single default one over the whole range.
ExportOptions OptionsFor(const ImportContext& ctx, const std::vector<Stretch>& stretches,
                         bool oneSegmentPerAnimation) {
    ExportOptions options;
    options.skinning = HasSkin(ctx.scene) ? 1 : 0;
    // The segments belong to this scene: they stay with it.
    options.saveSettingsInScene = 1;
    if (oneSegmentPerAnimation && !stretches.empty()) {
        const std::vector<std::string> names = SegmentNames(ctx.source);
        for (std::size_t a = 0; a < stretches.size(); ++a)
            AddSegment(options.segments, names[a], stretches[a].start, stretches[a].end);
    } else {
        AddSegment(options.segments, kDefaultSegmentName, ctx.scene.animStart, ctx.scene.animEnd);
    }
    return options;
}

}  // namespace

void ImportAnimations(ImportContext& ctx, bool oneSegmentPerAnimation) {
    const HostClock clock = ClockOf(ctx.scene);
    const std::vector<Stretch> stretches = LayOut(ctx.source, clock);
    std::vector<Keyed> keyed(stretches.size());
    for (unsigned a = 0; a < ctx.source.mNumAnimations; ++a) {
        const aiAnimation& animation = *ctx.source.mAnimations[a];
        CountMorphChannels(ctx, animation);
        for (unsigned c = 0; c < animation.mNumChannels; ++c)
            ImportChannel(ctx, *animation.mChannels[c], stretches[a], clock,
                          SourceTicksPerSecond(animation), keyed[a]);
    }
    FillUnkeyed(ctx, keyed, stretches);
    SortTracks(ctx.scene);
    if (!stretches.empty()) {
        ctx.scene.animStart = 0;
        ctx.scene.animEnd = stretches.back().end;
    }
    // Without segments of its own or a skin to write, the scene leaves the settings to the
    // exporter's own (its settings file, or the default segment over the whole range).
    const bool ownSegments = oneSegmentPerAnimation && !stretches.empty();
    if (!ownSegments && !HasSkin(ctx.scene)) return;
    StoreSettings(ctx, OptionsFor(ctx, stretches, oneSegmentPerAnimation), clock);
}

}  // namespace tarvo::assimpimport
