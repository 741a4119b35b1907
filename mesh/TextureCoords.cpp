// Texture coordinates: gathered per corner (a NaN becomes 0), written with v flipped.
#include <cmath>

#include "mesh/Mesh.h"
#include "mesh/PayloadLayouts.h"
#include "platform/d3dx/XPayloadWriter.h"
#include "plugin/Exporter.h"

namespace {

float ZeroNaN(float value) {
    return std::isnan(value) ? 0.0f : value;
}

}  // namespace

void GatherTextureCoords(const MeshContext& context, const FaceEx& face, FaceCorners& corners) {
    if (!context.options->textureCoords || context.texVertCount < 1) return;
    for (int k = 0; k < 3; ++k) {
        Point2 uv = context.mesh->GetTexVertex(
            static_cast<int>(face.texCoord[context.corners.hostCorner[k]]));
        float* uvw = corners.records[k].uvw;
        uvw[0] = ZeroNaN(uv.x), uvw[1] = ZeroNaN(uv.y), uvw[2] = 0.0f;
    }
}

HRESULT WriteTextureCoords(const VertexBuilder& builder, ID3DXFileSaveData* meshData) {
    d3dx::XPayloadWriter payload;
    if (!payload.Reserve(CountedArrayBytes<PackedCoords2d>(builder.vertices.size())))
        return E_OUTOFMEMORY;
    payload.Dword(static_cast<std::uint32_t>(builder.vertices.size()));
    for (const MeshVertex& vertex : builder.vertices) {
        payload.Float(vertex.uvw[0]);
        payload.Float(1.0f - vertex.uvw[1]);
    }
    return XParent(meshData).AddLeaf(TID_D3DRMMeshTextureCoords, nullptr, std::move(payload));
}
