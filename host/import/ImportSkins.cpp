// Skins of the source's meshes as Skin modifiers of the host meshes. A source binds its skin
// in a pose of its own (each bone's offset matrix), which is seldom the pose at time 0, so
// the skin keeps that pose: the mesh node's object transform as the scene places it, and
// each bone's node transform found from its offset matrix. The exporter's offset matrices
// then come out as the source's.
//
// Every influence is kept, as the host's Skin modifier keeps any number; the exporter keeps
// the four strongest of a vertex and rescales them to a total of one. What goes that way is
// counted as "influence past the fourth", so that the summary says what the .X file lacks.
#include <algorithm>

#include "host/import/ImportSkins.h"
#include "host/import/ImportStages.h"

namespace tarvo::assimpimport {

namespace {

constexpr std::size_t kInfluencesPerVertexWritten = 4;  // the most the exporter writes
constexpr const char* kSkinModifierName = "Skin";

Matrix3 PlacementMatrix(const scene::Placement& p) {
    return ScaleMatrix(p.scale) * RotateMatrix(p.rotation) * TransMatrix(p.position);
}

// The node's world transform as its placements give it, without animation: the pose the
// source's offset matrices are measured against.
Matrix3 StaticWorld(const scene::SceneData& scene, int node) {
    Matrix3 world(1);
    for (int n = node; n >= 0; n = scene.nodes[static_cast<std::size_t>(n)].parent)
        world = world * PlacementMatrix(scene.nodes[static_cast<std::size_t>(n)].transform);
    return world;
}

Matrix3 StaticObjectTM(const scene::SceneData& scene, int node) {
    return PlacementMatrix(scene.nodes[static_cast<std::size_t>(node)].objectOffset) *
           StaticWorld(scene, node);
}

// Assimp's matrices move column vectors, the host's row vectors: the same transform is the
// transpose.
Matrix3 HostMatrix(const aiMatrix4x4& m) {
    return Matrix3(Point3(m.a1, m.b1, m.c1), Point3(m.a2, m.b2, m.c2), Point3(m.a3, m.b3, m.c3),
                   Point3(m.a4, m.b4, m.c4));
}

// The node's Skin modifier, made at the top of its stack when it has none.
scene::SkinData& SkinOf(scene::NodeData& node) {
    for (auto& derived : node.derived)
        for (auto& modifier : derived.modifiers)
            if (modifier.kind == scene::ModifierKind::Skin) return modifier.skin;
    scene::ModifierData skin;
    skin.kind = scene::ModifierKind::Skin;
    skin.name = kSkinModifierName;
    node.derived.insert(node.derived.begin(), scene::DerivedData{{std::move(skin)}});
    return node.derived.front().modifiers.front().skin;
}

// The bone's place in the skin's list, added with its bind transform when new. A bone that
// two source meshes of one node share keeps the bind transform of the first.
int BoneSlot(scene::SkinData& skin, int boneNode, const Matrix3& bindTM) {
    const auto found = std::find(skin.bones.begin(), skin.bones.end(), boneNode);
    if (found != skin.bones.end()) return static_cast<int>(found - skin.bones.begin());
    skin.bones.push_back(boneNode);
    skin.initBoneTMs.resize(skin.bones.size() - 1);
    skin.initBoneTMs.emplace_back(bindTM);
    return static_cast<int>(skin.bones.size()) - 1;
}

void AddInfluences(ImportContext& ctx, const aiBone& bone, const aiMesh& mesh,
                   std::uint32_t firstVertex, int slot, scene::SkinData& skin) {
    for (unsigned w = 0; w < bone.mNumWeights; ++w) {
        const aiVertexWeight& weight = bone.mWeights[w];
        if (weight.mVertexId >= mesh.mNumVertices) {
            ++ctx.unmapped["influence on a vertex the mesh lacks"];
            continue;
        }
        const std::size_t vertex = firstVertex + weight.mVertexId;
        if (skin.weights.size() <= vertex) skin.weights.resize(vertex + 1);
        skin.weights[vertex].push_back({slot, weight.mWeight});
    }
}

void ImportMeshSkin(ImportContext& ctx, const aiMesh& mesh, const MeshPlacement& placement) {
    scene::NodeData& node = ctx.scene.nodes[static_cast<std::size_t>(placement.node)];
    scene::SkinData& skin = SkinOf(node);
    const Matrix3 skinTM = StaticObjectTM(ctx.scene, placement.node);
    if (!skin.initSkinTM) skin.initSkinTM = skinTM;
    for (unsigned b = 0; b < mesh.mNumBones; ++b) {
        const aiBone& bone = *mesh.mBones[b];
        const auto boneNode = ctx.nodeByName.find(TextOf(bone.mName));
        if (boneNode == ctx.nodeByName.end()) {
            ++ctx.unmapped["bone without a node"];
            continue;
        }
        // The offset takes the mesh into the bone's space at bind: offset × bone = mesh.
        const Matrix3 bindTM = Inverse(HostMatrix(bone.mOffsetMatrix)) * *skin.initSkinTM;
        const int slot = BoneSlot(skin, boneNode->second, bindTM);
        AddInfluences(ctx, bone, mesh, placement.firstVertex, slot, skin);
    }
}

void CountInfluencesPastTheFourth(ImportContext& ctx, const scene::SkinData& skin) {
    for (const auto& vertex : skin.weights)
        if (vertex.size() > kInfluencesPerVertexWritten)
            ctx.unmapped["influence past the fourth"] +=
                vertex.size() - kInfluencesPerVertexWritten;
}

}  // namespace

void ImportSkins(ImportContext& ctx) {
    std::vector<int> skinnedNodes;
    for (unsigned m = 0; m < ctx.source.mNumMeshes; ++m) {
        const aiMesh* mesh = ctx.source.mMeshes[m];
        const auto placement = ctx.meshPlacement.find(mesh);
        if (!mesh->HasBones() || placement == ctx.meshPlacement.end()) continue;
        ImportMeshSkin(ctx, *mesh, placement->second);
        skinnedNodes.push_back(placement->second.node);
    }
    std::sort(skinnedNodes.begin(), skinnedNodes.end());
    skinnedNodes.erase(std::unique(skinnedNodes.begin(), skinnedNodes.end()), skinnedNodes.end());
    for (int node : skinnedNodes)
        CountInfluencesPastTheFourth(ctx, SkinOf(ctx.scene.nodes[static_cast<std::size_t>(node)]));
}

}  // namespace tarvo::assimpimport
