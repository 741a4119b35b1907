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
    auto read = [&context](int index) { return context.mesh->GetTexVertex(index); };
    for (int k = 0; k < 3; ++k) {
        Point2 uv = HostValue(context.texVerts, face.texCoord[context.corners.hostCorner[k]], read);
        float* uvw = corners.records[k].uvw;
        uvw[0] = ZeroNaN(uv.x), uvw[1] = ZeroNaN(uv.y), uvw[2] = 0.0f;
    }
}

HRESULT WriteTextureCoords(const VertexAttributes& vertices, ID3DXFileSaveData* meshData) {
    d3dx::XPayloadWriter payload;
    if (!payload.Reserve(CountedArrayBytes<PackedCoords2d>(vertices.uvs.size())))
        return E_OUTOFMEMORY;
    payload.Dword(static_cast<std::uint32_t>(vertices.uvs.size()));
    for (const ExtraUv& uv : vertices.uvs) {
        payload.Float(uv.u);
        payload.Float(1.0f - uv.v);
    }
    return XParent(meshData).AddLeaf(TID_D3DRMMeshTextureCoords, nullptr, std::move(payload));
}
