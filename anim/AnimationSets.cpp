// WriteAnimationSets: one AnimationSet per segment, one Animation per registered node with
// the reference to the node's Frame, its AnimationOptions and its keys.
#include <unordered_set>

#include "anim/Animation.h"
#include "platform/d3dx/XPayloadWriter.h"
#include "plugin/Exporter.h"

namespace {

using KeyWriter = std::uint32_t (*)(const TarvoDirectXMaxExporter&, const AnimatedNode&,
                                    const XParent&, TimeValue, TimeValue);

// The key writers the options choose, in the order their AnimationKeys are written.
std::vector<KeyWriter> ChooseKeyWriters(const ExportOptions& options) {
    const bool separate = options.aniComponents != kAniMatrixKeys;
    if (options.aniKeyframeOnly == 0) {
        if (!separate) return {WriteMatrixKeys};
        return {WriteRotationKeys, WriteScaleKeys, WritePositionKeys};
    }
    if (!separate) return {WriteMatrixKeyframes};
    return {WriteRotationKeyframes, WriteScaleKeyframes, WritePositionKeyframes};
}

// The node whose frame the node's frame hangs in: its nearest ancestor in the walked tree
// that has a frame. Every node that gets a frame is registered with every segment, so the
// registered nodes are the nodes with frames. Null with top frames only, where every frame
// stands at the top level.
INode* FrameParentOf(const TarvoDirectXMaxExporter& exporter, IGameNode* node,
                     const std::unordered_set<IGameNode*>& framed) {
    if (exporter.options.frameSetting == kFrameSettingTopFrameOnly) return nullptr;
    for (IGameNode* up = node->GetNodeParent(); up != nullptr; up = up->GetNodeParent())
        if (framed.contains(up)) return up->GetMaxNode();
    return nullptr;
}

[[nodiscard]] HRESULT AddAnimationOptions(const SegmentNode& entry, const XParent& animation) {
    d3dx::XPayloadWriter payload;
    if (!payload.Reserve(sizeof(PackedAnimationOptions))) return E_OUTOFMEMORY;
    payload.Dword(static_cast<std::uint32_t>(entry.openClosed));
    payload.Dword(static_cast<std::uint32_t>(entry.positionQuality));
    return animation.AddLeaf(TID_D3DRMAnimationOptions, nullptr, payload.Size(), payload.Data());
}

// One Animation; false when the animation output must stop.
bool WriteAnimation(TarvoDirectXMaxExporter& exporter, const AnimSegment& segment,
                    const SegmentNode& entry, const std::unordered_set<IGameNode*>& framed,
                    ID3DXFileSaveData* set) {
    DebugPrint("AniNode: %s\n", entry.nodeName.c_str());
    INode* node = entry.node->GetMaxNode();
    // The name the node's Frame actually got, which a second node of the same name changes.
    const std::string frameName =
        exporter.frameNames.NameOf(node, MakeNodeName(entry.node->GetName()));
    const std::string animationName = MakeNodeName(frameName.c_str(), "Anim");
    ComRef<ID3DXFileSaveData> animation;
    if (FAILED(set->AddDataObject(TID_D3DRMAnimation, animationName.c_str(), nullptr, 0, nullptr,
                                  animation.Put())))
        return false;
    if (FAILED(animation->AddDataReference(frameName.c_str(), nullptr))) return false;
    XParent parent(animation.Get());
    if (exporter.options.aniOptions && FAILED(AddAnimationOptions(entry, parent))) return false;
    AnimatedNode animated{node, FrameParentOf(exporter, entry.node, framed)};
    std::uint32_t total = 0;
    for (KeyWriter write : ChooseKeyWriters(exporter.options))
        total += write(exporter, animated, parent, segment.start, segment.end);
    DebugPrint("Total Node Animation count = %ld\n", static_cast<long>(total));
    return true;
}

}  // namespace

void WriteAnimationSets(TarvoDirectXMaxExporter& exporter, const XParent& parent) {
    for (const AnimSegment& segment : exporter.options.segments) {
        std::unordered_set<IGameNode*> framed;
        for (const SegmentNode& entry : segment.nodes) framed.insert(entry.node);
        ComRef<ID3DXFileSaveData> set;
        if (FAILED(parent.AddDataObject(TID_D3DRMAnimationSet, MakeNodeName(segment.name.c_str()),
                                        nullptr, 0, nullptr, set.Put())))
            return;
        for (const SegmentNode& entry : segment.nodes)
            if (!WriteAnimation(exporter, segment, entry, framed, set.Get())) return;
    }
}
