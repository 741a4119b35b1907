// ExportMesh: one geometric node into a Mesh data object, then its children in their fixed
// order.
#include <algorithm>
#include <bit>

#include "mesh/Mesh.h"
#include "mesh/PayloadLayouts.h"
#include "platform/d3dx/XPayloadWriter.h"
#include "plugin/Exporter.h"

namespace {

bool HoldsModifier(Object* object, const Class_ID& modifierClass) {
    auto* derived = static_cast<IDerivedObject*>(object);
    for (int i = 0; i < derived->NumModifiers(); ++i)
        if (derived->GetModifier(i)->ClassID() == modifierClass) return true;
    return false;
}

bool IsDerived(Object* object) {
    return object != nullptr && object->SuperClassID() == GEN_DERIVOB_CLASS_ID;
}

// Skin on the first derived object, or Physique anywhere down the chain of derived objects.
bool IsNodeSkinned(const ExportOptions& options, INode* node) {
    if (!options.skinning) return false;
    Object* top = node->GetObjectRef();
    if (IsDerived(top) && HoldsModifier(top, SKIN_CLASSID)) return true;
    for (Object* object = top; IsDerived(object);
         object = static_cast<IDerivedObject*>(object)->GetObjRef())
        if (HoldsModifier(object, PHYSIQUE_CLASS_ID)) return true;
    return false;
}

// M is the node's object transform only when no frame carries it. Positions are asked for
// in object space either way: M is applied here, and the host's world space already holds
// that transform, so asking for it as well would place the mesh twice.
void ChooseMeshTransform(MeshContext& context, TimeValue time) {
    const ExportOptions& options = *context.options;
    context.meshTransform.IdentityMatrix();
    if (options.frameSetting == kFrameSettingNoFrames && !options.localObjectSpace)
        context.meshTransform = context.maxNode->GetObjTMAfterWSM(time);
    context.objectSpaceFlag = true;
}

void RequestNormalMode(const ExportOptions& options, IGameMesh* mesh) {
    if (options.customNormals)
        mesh->SetCreateOptimizedNormalList();
    else
        mesh->SetUseWeightedNormals();
}

void ReadHostCounts(MeshContext& context) {
    IGameMesh* mesh = context.mesh;
    context.faceCount = mesh->GetNumberOfFaces();
    context.texVertCount = mesh->GetNumberOfTexVerts();
    context.colorVertCount = mesh->GetNumberOfColorVerts();
    Tab<int> active = mesh->GetActiveMapChannelNum();
    int maps = std::min(active.Count(), kMaxMapChannels);
    context.extraChannels = ExtraChannelsOf(active, maps);
    DebugPrint("Node Name is :%s Verts: %d, Faces: %d VCols: %d tVerts: %d Maps: %d\n",
               context.maxNode->GetName(), mesh->GetNumberOfVerts(), context.faceCount,
               context.colorVertCount, context.texVertCount, maps);
}

// The gather steps the face loop calls, beside positions: each only where the options ask
// for its attribute and the mesh has it, decided here rather than asked at every face.
void PlanGathering(MeshContext& context) {
    const ExportOptions& options = *context.options;
    context.gathersUvs = options.textureCoords && context.texVertCount > 0;
    context.gathersExtras = options.textureCoords && !context.extraChannels.empty();
    context.gathersColors = options.vertexColors && context.colorVertCount > 0;
}

// How many of `count` host values to read ahead: never more than the corners could name, so
// a mesh of few faces over a large array reads no more than it did one corner at a time.
std::size_t HostValuesToRead(int count, int faceCount) {
    return std::min(static_cast<std::size_t>(std::max(count, 0)),
                    3 * static_cast<std::size_t>(std::max(faceCount, 0)));
}

void ReadHostValues(MeshContext& context) {
    IGameMesh* mesh = context.mesh;
    // Appended rather than sized first, so that the arrays are not zeroed before being read.
    const std::size_t positions = HostValuesToRead(mesh->GetNumberOfVerts(), context.faceCount);
    context.positions.reserve(positions);
    for (std::size_t i = 0; i < positions; ++i)
        context.positions.push_back(mesh->GetVertex(static_cast<int>(i), context.objectSpaceFlag));
    if (context.gathersUvs)
        ReadTexVertices(context, HostValuesToRead(context.texVertCount, context.faceCount));
}

void ForgetHostValues(MeshContext& context) {
    std::vector<Point3>().swap(context.positions);
    std::vector<Point2>().swap(context.texVerts);
}

void GatherPositions(const MeshContext& context, const FaceEx& face, FaceCorners& corners) {
    auto read = [&context](int index) {
        return context.mesh->GetVertex(index, context.objectSpaceFlag);
    };
    for (int k = 0; k < 3; ++k) {
        Point3 p = HostValue(context.positions, face.vert[context.corners.hostCorner[k]], read);
        float* position = corners.records[k].position;
        position[0] = p.x, position[1] = p.y, position[2] = p.z;
    }
}

// What each corner's normal is read from, in output corner order, appended for the face.
void NoteNormalSources(MeshContext& context, const FaceEx& face) {
    const DWORD* source = context.options->customNormals ? face.norm : face.vert;
    const int* hostCorner = context.corners.hostCorner;
    context.normalSources.push_back(
        {source[hostCorner[0]], source[hostCorner[1]], source[hostCorner[2]]});
}

HostVertex HostVertexOf(const MeshContext& context, const FaceEx& face, int corner) {
    return HostVertex(face.vert[context.corners.hostCorner[corner]]);
}

// One face: three records gathered, then three output vertices. `corners` is scratch that
// the loop keeps, zero at the start: the steps PlanGathering chose overwrite every member
// they fill at every face, and the members no step fills stay zero, so of the records only
// the extra-channel counts start each face afresh (the entries past a count are never read).
// Clearing the three records whole at every face cost more than gathering into them.
void BuildFace(MeshContext& context, VertexBuilder& builder, int faceIndex, FaceCorners& corners) {
    const FaceEx& face = *context.mesh->GetFace(faceIndex);
    for (MeshVertex& record : corners.records) record.extraCount = 0;
    if (context.skinned) {
        for (MeshVertex& record : corners.records) {
            record.materialId = static_cast<std::uint32_t>(face.matID);
            record.smoothingGroup = face.smGrp;
        }
    }
    GatherPositions(context, face, corners);
    if (context.gathersUvs) GatherTextureCoords(context, face, corners);
    if (context.gathersExtras) GatherExtraChannels(context, faceIndex, corners);
    if (context.gathersColors) GatherVertexColors(context, face, corners);
    if (context.options->normals) NoteNormalSources(context, face);
    const HostVertex hosts[3] = {HostVertexOf(context, face, 0), HostVertexOf(context, face, 1),
                                 HostVertexOf(context, face, 2)};
    // Influences are gathered only where the host gave skin data: every other mesh would
    // carry empty ones through the builder.
    if (!builder.withWeights) {
        AddFaceVertices(builder, hosts, corners, nullptr);
        return;
    }
    VertexWeights weights[3];
    for (int k = 0; k < 3; ++k) GatherVertexWeights(context.skin, hosts[k], weights[k]);
    AddFaceVertices(builder, hosts, corners, weights);
}

VertexBuilder BuildVertices(MeshContext& context) {
    const ExportOptions& options = *context.options;
    VertexBuilder builder = CreateVertexBuilder(
        context.mesh->GetNumberOfVerts(), context.faceCount, options.optMesh != kOptMeshNone,
        options.textureCoords ? static_cast<std::uint32_t>(context.extraChannels.size()) : 0,
        context.skin.skinned);
    if (options.normals) context.normalSources.reserve(static_cast<std::size_t>(context.faceCount));
    ReadHostValues(context);
    FaceCorners corners{};
    for (int f = 0; f < context.faceCount; ++f) BuildFace(context, builder, f, corners);
    ClearUnusedSlots(builder);
    ForgetHostValues(context);
    DebugPrint("Actual Channels used %d\n", context.channelsUsed);
    if (options.optMesh == kOptMeshOptimized) OptimiseVertices(builder);
    CheckMesh(builder);
    return builder;
}

bool WritesVertexColors(const MeshContext& context) {
    return context.gathersColors;
}

bool WritesTextureCoords(const MeshContext& context) {
    return context.gathersUvs;
}

void WritePositions(const MeshContext& context, const VertexBuilder& builder,
                    d3dx::XPayloadWriter& payload) {
    payload.Dword(static_cast<std::uint32_t>(builder.vertices.size()));
    const MeshVertex* vertices = builder.vertices.data();
    const Matrix3& transform = context.meshTransform;
    const int* axis = context.corners.axis;
    payload.DwordRecords<3>(builder.vertices.size(),
                            [=, &transform](std::size_t v, std::array<std::uint32_t, 3>& words) {
                                const float* position = vertices[v].position;
                                Point3 p =
                                    Point3(position[0], position[1], position[2]) * transform;
                                for (std::size_t k = 0; k < 3; ++k)
                                    words[k] = std::bit_cast<std::uint32_t>(p[axis[k]]);
                            });
}

// The Mesh: positions times M in the output axis order, then the faces. The builder is used
// up on the way: once the positions are written, its records give way to the attributes the
// children write, and only then is room made for the faces, so that the records and the
// whole payload are never held at once. Null when the payload cannot be had or the object
// cannot be added.
ComRef<ID3DXFileSaveData> WriteMeshObject(const MeshContext& context, VertexBuilder&& builder,
                                          VertexAttributes& attributes, const XParent& parent) {
    d3dx::XPayloadWriter payload;
    if (!payload.Reserve(CountedArrayBytes<PackedVector>(builder.vertices.size()))) return {};
    WritePositions(context, builder, payload);
    std::vector<FaceIndices> faces = std::move(builder.faces);
    attributes = TakeVertexAttributes(std::move(builder), WritesTextureCoords(context),
                                      WritesVertexColors(context));
    if (!payload.Reserve(CountedArrayBytes<PackedTriangle>(faces.size()))) return {};
    WriteMeshFaces(faces, payload);
    std::vector<FaceIndices>().swap(faces);
    const char* name = context.options->frameSetting > kFrameSettingNoFrames
                           ? nullptr
                           : MakeObjectName(context.maxNode->GetName(), -1);
    ComRef<ID3DXFileSaveData> meshData;
    if (FAILED(
            parent.AddDataObject(TID_D3DRMMesh, name, nullptr, std::move(payload), meshData.Put())))
        meshData.Reset();
    return meshData;
}

// The children of the Mesh, in their fixed order.
void WriteMeshChildren(MeshContext& context, const VertexAttributes& vertices,
                       ID3DXFileSaveData* meshData) {
    const ExportOptions& options = *context.options;
    if (options.normals && !WriteMeshNormals(context, std::move(context.normalSources), meshData))
        return;
    if (options.exportMaterials &&
        !WriteMaterialList(*context.exporter, context.maxNode, context.mesh, meshData))
        return;
    // A child that cannot be written is skipped; the ones after it are written all the same.
    if (WritesVertexColors(context)) (void)WriteVertexColors(vertices, meshData);
    if (WritesTextureCoords(context)) (void)WriteTextureCoords(vertices, meshData);
    if (options.textureCoords && context.channelsUsed != 0)
        (void)WriteExtraChannels(vertices, meshData, context.channelsUsed);
    // The skin comes last. A skin that cannot be written ends the Mesh's children.
    if (context.skinned) {
        BuildBoneWeightLists(context.skin, vertices);
        (void)WriteSkinWeights(context.skin, meshData);
    }
}

void WriteMesh(MeshContext& context, const XParent& parent) {
    VertexBuilder builder = BuildVertices(context);
    const long maxWeightPerFace = 0;  // the skin state's m_nMaxWeightPerFace: nothing raises it
    DebugPrint("m_nMaxWeightPerFace=%ld\n", maxWeightPerFace);
    DebugPrint("Opt Node Name is :%s Verts: %d, Faces: %d \n", context.maxNode->GetName(),
               static_cast<int>(builder.vertices.size()), context.faceCount);
    VertexAttributes vertices;
    ComRef<ID3DXFileSaveData> meshData =
        WriteMeshObject(context, std::move(builder), vertices, parent);
    if (meshData) WriteMeshChildren(context, vertices, meshData.Get());
}

}  // namespace

void WriteMeshFaces(std::span<const FaceIndices> faces, d3dx::XPayloadWriter& payload) {
    constexpr std::size_t kWordsPerFace = 1 + 3;  // the index count, then the indices
    payload.Dword(static_cast<std::uint32_t>(faces.size()));
    const FaceIndices* face = faces.data();
    payload.DwordRecords<kWordsPerFace>(
        faces.size(), [face](std::size_t f, std::array<std::uint32_t, kWordsPerFace>& words) {
            words = {3u, face[f][0], face[f][1], face[f][2]};
        });
}

CornerOrder CornerOrderFor(const ExportOptions& options) {
    CornerOrder order;
    if (options.leftHanded == 1) {
        order.hostCorner[1] = 2, order.hostCorner[2] = 1;
        order.axis[1] = 2, order.axis[2] = 1;
    }
    return order;
}

void CheckMesh(const VertexBuilder& builder) {
    ForEachUnusedSlot(builder, [](std::size_t slot) {
        DebugPrint("Not Used - What went wrong %d\n", static_cast<int>(slot));
    });
    for (std::size_t f = 0; f < builder.faces.size(); ++f) {
        const FaceIndices& i = builder.faces[f];
        if (i[0] == i[1] || i[1] == i[2] || i[0] == i[2])
            DebugPrint("*** Degenerate Face %d Detected %d %d %d\n", static_cast<int>(f),
                       static_cast<int>(i[0]), static_cast<int>(i[1]), static_cast<int>(i[2]));
    }
}

void ExportMesh(TarvoDirectXMaxExporter& exporter, IGameNode* node, TimeValue time,
                const XParent& parent) {
    MeshContext context;
    context.exporter = &exporter;
    context.options = &exporter.options;
    context.maxNode = node->GetMaxNode();
    Object* object = context.maxNode->EvalWorldState(time, TRUE).obj;
    if (object == nullptr || object->SuperClassID() != GEOMOBJECT_CLASS_ID) return;
    ChooseMeshTransform(context, time);
    context.corners = CornerOrderFor(exporter.options);
    context.skinned = IsNodeSkinned(exporter.options, context.maxNode);
    IGameObject* gameObject = node->GetIGameObject();
    if (gameObject == nullptr || gameObject->GetIGameType() != IGameObject::IGAME_MESH) return;
    context.mesh = SetUpSkin(context.skin, exporter, gameObject, context.skinned);
    RequestNormalMode(exporter.options, context.mesh);
    context.mesh->InitializeData();
    ReadHostCounts(context);
    PlanGathering(context);
    WriteMesh(context, parent);
    node->ReleaseIGameObject();
}
