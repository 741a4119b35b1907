// Extra map channels: up to eight further texture coordinate sets per corner, written as
// one FVFData object with the v flip and (0, 1) padding.
#include <cmath>

#include "mesh/Mesh.h"
#include "mesh/PayloadLayouts.h"
#include "platform/d3dx/XPayloadWriter.h"
#include "plugin/Exporter.h"

namespace {

// The host's texture channel: written as MeshTextureCoords, so never an extra channel.
constexpr int kTextureChannel = 1;

// FVF codes: the position bit the FVFData object has always declared, and the texture-set
// count field (D3DFVF_TEXCOUNT), which a reader multiplies by two floats per set to size
// each vertex.
constexpr std::uint32_t kFvfPosition = 0x002;
constexpr std::uint32_t kFvfTexCountShift = 8;

float ZeroNaN(float value) {
    return std::isnan(value) ? 0.0f : value;
}

// Appends channel `channel`'s coordinate to each of the three records.
void GatherChannel(const MeshContext& context, int channel, int faceIndex, FaceCorners& corners) {
    DWORD index[3] = {0, 0, 0};
    context.mesh->GetMapFaceIndex(channel, faceIndex, index);
    for (int k = 0; k < 3; ++k) {
        Point3 p = context.mesh->GetMapVertex(
            channel, static_cast<int>(index[context.corners.hostCorner[k]]));
        MeshVertex& record = corners.records[k];
        corners.extras[k][record.extraCount++] = ExtraUv{ZeroNaN(p.x), ZeroNaN(p.y)};
    }
}

}  // namespace

std::vector<int> ExtraChannelsOf(const Tab<int>& activeChannels, int maps) {
    std::vector<int> channels;
    for (int position = 0; position < maps; ++position) {
        int channel = activeChannels[position];
        if (channel <= 0 || channel == kTextureChannel) continue;
        // A list without channel 1 can offer one more than a corner has room for.
        if (channels.size() == static_cast<std::size_t>(kMaxExtraChannels)) break;
        channels.push_back(channel);
    }
    return channels;
}

std::uint32_t ExtraChannelsFvf(std::uint32_t channelCount) {
    return kFvfPosition | (channelCount << kFvfTexCountShift);
}

void GatherExtraChannels(MeshContext& context, int faceIndex, FaceCorners& corners) {
    for (int channel : context.extraChannels) GatherChannel(context, channel, faceIndex, corners);
    context.channelsUsed =
        std::max(context.channelsUsed, static_cast<std::int32_t>(corners.records[0].extraCount));
}

HRESULT WriteExtraChannels(const VertexAttributes& vertices, ID3DXFileSaveData* meshData,
                           std::int32_t channelsUsed) {
    auto channels = static_cast<std::size_t>(channelsUsed);
    std::size_t v = vertices.vertexCount;
    d3dx::XPayloadWriter payload;
    if (!payload.Reserve(sizeof(std::uint32_t) + CountedArrayBytes<PackedCoords2d>(v * channels)))
        return E_OUTOFMEMORY;
    payload.Dword(ExtraChannelsFvf(static_cast<std::uint32_t>(channels)));
    payload.Dword(static_cast<std::uint32_t>(v * channels * 2));
    for (std::size_t i = 0; i < v; ++i) {
        std::span<const ExtraUv> extras = vertices.ExtrasOf(i);
        for (std::size_t j = 0; j < channels; ++j) {
            bool present = j < extras.size();
            payload.Float(present ? extras[j].u : 0.0f);
            payload.Float(present ? 1.0f - extras[j].v : 1.0f);
        }
    }
    return XParent(meshData).AddLeaf(DXFILEOBJ_FVFData, nullptr, std::move(payload));
}
