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

// A texture vertex as it is written: a NaN component as 0.
Point2 TexVertexAt(const MeshContext& context, int index) {
    Point2 uv = context.mesh->GetTexVertex(index);
    return Point2(ZeroNaN(uv.x), ZeroNaN(uv.y));
}

}  // namespace

void ReadTexVertices(MeshContext& context, std::size_t count) {
    context.texVerts.reserve(count);
    for (std::size_t i = 0; i < count; ++i)
        context.texVerts.push_back(TexVertexAt(context, static_cast<int>(i)));
}

void GatherTextureCoords(const MeshContext& context, const FaceEx& face, FaceCorners& corners) {
    auto read = [&context](int index) { return TexVertexAt(context, index); };
    for (int k = 0; k < 3; ++k) {
        Point2 uv = HostValue(context.texVerts, face.texCoord[context.corners.hostCorner[k]], read);
        float* uvw = corners.records[k].uvw;
        uvw[0] = uv.x, uvw[1] = uv.y, uvw[2] = 0.0f;
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
