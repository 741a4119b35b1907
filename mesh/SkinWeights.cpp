// The skin of a mesh: the bind pose, the bone influences of every vertex, the per-bone
// vertex lists and the XSkinMeshHeader and SkinWeights objects under the Mesh.
#include <algorithm>

#include "mesh/Mesh.h"
#include "platform/d3dx/XPayloadWriter.h"
#include "plugin/Exporter.h"

namespace {

// Totals within this band of 1 are whole.
constexpr double kWeightTotalLow = 0.99999;
constexpr double kWeightTotalHigh = 1.00001;
constexpr TimeValue kBindTime = 0;  // the skin binds the scene as it stands at time 0
constexpr std::size_t kMatrixFloats = 16;

bool IsWholeTotal(double total) {
    return total >= kWeightTotalLow && total <= kWeightTotalHigh;
}

// The bone's placement at the bind time as its Frame gives it: with top frames only the
// Frame holds the object's world placement, otherwise the node's.
Matrix3 BoneBindMatrix(const SkinContext& skin, INode* bone) {
    GMatrix initial;
    const bool known = skin.skin->GetInitBoneTM(bone, initial);
    if (skin.exporter->options.frameSetting != kFrameSettingTopFrameOnly)
        return known ? initial.ExtractMatrix3() : bone->GetNodeTM(kBindTime);
    const Matrix3 objectTM = bone->GetObjTMAfterWSM(kBindTime);
    const Matrix3 nodeTM = bone->GetNodeTM(kBindTime);
    // A skin bound in a pose of its own: the object sits on the node as it does at the bind
    // time.
    if (known && !(initial.ExtractMatrix3() == nodeTM))
        return objectTM * Inverse(nodeTM) * initial.ExtractMatrix3();
    return objectTM;
}

SkinBone* FindBone(SkinContext& skin, INode* node) {
    for (SkinBone& bone : skin.bones)
        if (bone.node == node) return &bone;
    return nullptr;
}

void RegisterBone(SkinContext& skin, INode* node) {
    if (FindBone(skin, node) != nullptr) return;
    SkinBone bone;
    const char* name = node != nullptr ? node->GetName() : nullptr;
    bone.name = name != nullptr ? name : "";
    bone.node = node;
    if (node != nullptr)
        bone.offsetMatrix = skin.initialSkinTM * Inverse(BoneBindMatrix(skin, node));
    skin.bones.push_back(std::move(bone));
}

// The strongest influences first; std::stable_sort keeps equal weights in host order.
void KeepStrongest(std::vector<BoneWeight>& influences) {
    std::stable_sort(influences.begin(), influences.end(),
                     [](const BoneWeight& a, const BoneWeight& b) { return a.weight > b.weight; });
    float kept = 0.0f;
    for (int i = 0; i < kMaxBoneInfluences; ++i)
        kept += influences[static_cast<std::size_t>(i)].weight;
    if (IsWholeTotal(kept) || kept <= 0.0f) return;
    for (int i = 0; i < kMaxBoneInfluences; ++i)
        influences[static_cast<std::size_t>(i)].weight /= kept;
}

[[nodiscard]] HRESULT WriteHeader(const SkinContext& skin, ID3DXFileSaveData* meshData) {
    d3dx::XPayloadWriter payload;
    if (!payload.Reserve(3 * sizeof(std::uint16_t))) return E_OUTOFMEMORY;
    payload.Word(static_cast<std::uint16_t>(skin.maxWeightsPerVertex));
    payload.Word(static_cast<std::uint16_t>(skin.maxWeightsPerFace));
    payload.Word(static_cast<std::uint16_t>(skin.bones.size()));
    return XParent(meshData).AddLeaf(DXFILEOBJ_XSkinMeshHeader, nullptr, payload.Size(),
                                     payload.Data());
}

[[nodiscard]] HRESULT WriteBone(SkinContext& skin, SkinBone& bone, ID3DXFileSaveData* meshData) {
    // The name of the Frame the bone's node actually got, so that the reference holds when
    // another node has the same name.
    const std::string& frameName =
        skin.exporter->frameNames.NameOf(bone.node, MakeNodeName(bone.name.c_str()));
    const std::size_t n = bone.weightList.size();
    d3dx::XPayloadWriter payload;
    if (!payload.Reserve(frameName.size() + 1 + sizeof(std::uint32_t) +
                         n * (sizeof(std::uint32_t) + sizeof(float)) +
                         kMatrixFloats * sizeof(float)))
        return E_OUTOFMEMORY;
    payload.String(frameName);
    payload.Dword(static_cast<std::uint32_t>(n));
    for (const auto& entry : bone.weightList) payload.Dword(entry.first);
    for (const auto& entry : bone.weightList) payload.Float(entry.second);
    FlipMatrixYZ(*skin.exporter, bone.offsetMatrix);
    float offset[kMatrixFloats];
    MatrixToXFile(bone.offsetMatrix, offset);
    for (float value : offset) payload.Float(value);
    return XParent(meshData).AddLeaf(DXFILEOBJ_SkinWeights, nullptr, std::move(payload));
}

}  // namespace

IGameMesh* SetUpSkin(SkinContext& skin, TarvoDirectXMaxExporter& exporter, IGameObject* object,
                     bool nodeSkinned) {
    skin.exporter = &exporter;
    auto* objectMesh = static_cast<IGameMesh*>(object);
    if (!nodeSkinned || !object->IsObjectSkinned()) return objectMesh;
    skin.skin = object->GetIGameSkin();
    if (skin.skin == nullptr) return objectMesh;
    DebugPrint(" Total Bones=%d,  Total Skinned Verts = %d\n", skin.skin->GetTotalBoneCount(),
               skin.skin->GetNumOfSkinnedVerts());
    // The initial pose's vertices are in the object's space; the object's placement at the
    // bind time takes them into the world, for the Skin modifier and Physique alike.
    GMatrix initial;
    skin.skin->GetInitSkinTM(initial);
    skin.initialSkinTM = initial.ExtractMatrix3();
    skin.skinnedVertexCount = skin.skin->GetNumOfSkinnedVerts();
    skin.skinned = true;
    return skin.skin->GetInitialPose();
}

void GatherVertexWeights(SkinContext& skin, HostVertex h, VertexWeights& weights) {
    weights.count = 0;
    if (!skin.skinned || static_cast<std::int64_t>(h.value) >= skin.skinnedVertexCount) return;
    const int vertex = static_cast<int>(h.value);
    const int n = skin.skin->GetNumberOfBones(vertex);
    std::vector<BoneWeight> influences;
    float total = 0.0f;
    for (int i = 0; i < n; ++i) {
        BoneWeight influence{skin.skin->GetBone(vertex, i), skin.skin->GetWeight(vertex, i)};
        total += influence.weight;
        // Every bone met is registered, also one that is cut off below.
        RegisterBone(skin, influence.bone);
        influences.push_back(influence);
    }
    if (!IsWholeTotal(total)) DebugPrint("A problem with the total weights\n");
    if (n > kMaxBoneInfluences) KeepStrongest(influences);
    const int kept = std::min(n, kMaxBoneInfluences);
    for (int i = 0; i < kept; ++i) weights.influences[i] = influences[static_cast<std::size_t>(i)];
    weights.count = static_cast<std::uint32_t>(kept);
}

void BuildBoneWeightLists(SkinContext& skin, const VertexAttributes& vertices) {
    // A mesh without influences leaves every bone without vertices.
    for (std::size_t i = 0; i < vertices.weights.size(); ++i) {
        const VertexWeights& vertex = vertices.weights[i];
        const auto index = static_cast<std::uint32_t>(i);
        for (std::uint32_t k = 0; k < vertex.count; ++k) {
            SkinBone* bone = FindBone(skin, vertex.influences[k].bone);
            if (bone == nullptr) {
                DebugPrint("Can't find bone\n");
                continue;
            }
            // The same bone twice on one vertex: one entry with both shares.
            if (!bone->weightList.empty() && bone->weightList.back().first == index)
                bone->weightList.back().second += vertex.influences[k].weight;
            else
                bone->weightList.emplace_back(index, vertex.influences[k].weight);
        }
        skin.maxWeightsPerVertex = std::max(skin.maxWeightsPerVertex, vertex.count);
    }
    DebugPrint("Num bones before: %ld\n", static_cast<long>(skin.bones.size()));
    std::erase_if(skin.bones, [](const SkinBone& bone) { return bone.weightList.empty(); });
    DebugPrint("Num bones after: %ld\n", static_cast<long>(skin.bones.size()));
}

HRESULT WriteSkinWeights(SkinContext& skin, ID3DXFileSaveData* meshData) {
    HRESULT hr = WriteHeader(skin, meshData);
    if (FAILED(hr)) return hr;
    for (SkinBone& bone : skin.bones) {
        hr = WriteBone(skin, bone, meshData);
        if (FAILED(hr)) return hr;
    }
    return S_OK;
}
