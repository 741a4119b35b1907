// Vertex colours: colour and alpha per corner, written unchanged with each vertex's index.
#include "mesh/Mesh.h"
#include "mesh/PayloadLayouts.h"
#include "platform/d3dx/XPayloadWriter.h"
#include "plugin/Exporter.h"

void GatherVertexColors(const MeshContext& context, const FaceEx& face, FaceCorners& corners) {
    if (!context.options->vertexColors || context.colorVertCount < 1) return;
    for (int k = 0; k < 3; ++k) {
        int c = context.corners.hostCorner[k];
        Point3 color = context.mesh->GetColorVertex(static_cast<int>(face.color[c]));
        MeshVertex& record = corners.records[k];
        record.color[0] = color.x, record.color[1] = color.y, record.color[2] = color.z;
        record.alpha = context.mesh->GetAlphaVertex(static_cast<int>(face.alpha[c]));
    }
}

HRESULT WriteVertexColors(const VertexBuilder& builder, ID3DXFileSaveData* meshData) {
    d3dx::XPayloadWriter payload;
    if (!payload.Reserve(CountedArrayBytes<PackedIndexedColor>(builder.vertices.size())))
        return E_OUTOFMEMORY;
    payload.Dword(static_cast<std::uint32_t>(builder.vertices.size()));
    std::uint32_t index = 0;
    for (const MeshVertex& vertex : builder.vertices) {
        payload.Dword(index++);
        for (float channel : vertex.color) payload.Float(channel);
        payload.Float(vertex.alpha);
    }
    return XParent(meshData).AddLeaf(TID_D3DRMMeshVertexColors, nullptr, std::move(payload));
}
