// Vertex colours: colour and alpha per corner, written unchanged with each vertex's index.
#include "mesh/Mesh.h"
#include "mesh/MeshPayload.h"
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
    MeshPayload payload;
    if (!payload.Allocate(4 + 20 * builder.vertices.size())) return S_OK;
    payload.Dword(static_cast<std::uint32_t>(builder.vertices.size()));
    std::uint32_t index = 0;
    for (const MeshVertex& vertex : builder.vertices) {
        payload.Dword(index++);
        for (float channel : vertex.color) payload.Float(channel);
        payload.Float(vertex.alpha);
    }
    ID3DXFileSaveData* object = nullptr;
    HRESULT hr = meshData->AddDataObject(TID_D3DRMMeshVertexColors, nullptr, nullptr,
                                         payload.Size(), payload.Data(), &object);
    if (object != nullptr) object->Release();
    return hr;
}
