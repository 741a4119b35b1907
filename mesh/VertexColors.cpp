// Vertex colours: colour and alpha per corner, written unchanged with each vertex's index.
#include "mesh/Mesh.h"
#include "mesh/PayloadLayouts.h"
#include "platform/d3dx/XPayloadWriter.h"
#include "plugin/Exporter.h"

void GatherVertexColors(const MeshContext& context, const FaceEx& face, FaceCorners& corners) {
    for (int k = 0; k < 3; ++k) {
        int c = context.corners.hostCorner[k];
        Point3 color = context.mesh->GetColorVertex(static_cast<int>(face.color[c]));
        MeshVertex& record = corners.records[k];
        record.color[0] = color.x, record.color[1] = color.y, record.color[2] = color.z;
        record.alpha = context.mesh->GetAlphaVertex(static_cast<int>(face.alpha[c]));
    }
}

HRESULT WriteVertexColors(const VertexAttributes& vertices, ID3DXFileSaveData* meshData) {
    d3dx::XPayloadWriter payload;
    if (!payload.Reserve(CountedArrayBytes<PackedIndexedColor>(vertices.colors.size())))
        return E_OUTOFMEMORY;
    payload.Dword(static_cast<std::uint32_t>(vertices.colors.size()));
    std::uint32_t index = 0;
    for (const VertexAttributes::Color& color : vertices.colors) {
        payload.Dword(index++);
        for (float channel : color.rgb) payload.Float(channel);
        payload.Float(color.alpha);
    }
    return XParent(meshData).AddLeaf(TID_D3DRMMeshVertexColors, nullptr, std::move(payload));
}
