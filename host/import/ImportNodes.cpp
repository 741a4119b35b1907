// The source's node tree as host nodes, parents before children, and each node's meshes as
// one host mesh.
#include <cmath>
#include <map>
#include <set>
#include <vector>

#include "host/import/ImportStages.h"

namespace tarvo::assimpimport {

namespace {

// ---- One host mesh from a node's source meshes ----

bool IsTriangleMesh(const aiMesh& mesh) {
    // Triangulation marks the triangles that came from one polygon with a flag of its own;
    // they are triangles all the same.
    return (mesh.mPrimitiveTypes & ~aiPrimitiveType_NGONEncodingFlag) == aiPrimitiveType_TRIANGLE;
}

// Lines and points have no place in a host mesh: each is counted.
void CountLinesAndPoints(ImportContext& ctx, const aiMesh& mesh) {
    for (unsigned f = 0; f < mesh.mNumFaces; ++f) {
        const unsigned corners = mesh.mFaces[f].mNumIndices;
        if (corners == 1) ++ctx.unmapped["point"];
        if (corners == 2) ++ctx.unmapped["line"];
    }
}

// What the node's triangle meshes carry, so that every mesh fills the same channels.
struct ChannelUse {
    std::set<unsigned> uvSets;  // source UV set indices
    bool colours = false;
    bool normals = true;  // every mesh has them
};

// Normals with a number that is not finite (some readers leave them so for degenerate faces)
// cannot be written or read back; such a mesh is smoothed by the host instead.
bool HasUsableNormals(const aiMesh& mesh) {
    if (!mesh.HasNormals()) return false;
    for (unsigned v = 0; v < mesh.mNumVertices; ++v) {
        const aiVector3D& n = mesh.mNormals[v];
        if (!std::isfinite(n.x) || !std::isfinite(n.y) || !std::isfinite(n.z)) return false;
    }
    return true;
}

ChannelUse ChannelsOf(const std::vector<const aiMesh*>& meshes) {
    ChannelUse use;
    for (const aiMesh* mesh : meshes) {
        for (unsigned set = 0; set < AI_MAX_NUMBER_OF_TEXTURECOORDS; ++set)
            if (mesh->HasTextureCoords(set)) use.uvSets.insert(set);
        use.colours = use.colours || mesh->HasVertexColors(0);
        use.normals = use.normals && HasUsableNormals(*mesh);
    }
    return use;
}

// Source UV set 0 is the texture channel 1, set 1 channel 2, and so on.
int MapChannelOfUvSet(unsigned set) {
    return scene::MAP_TEXCOORD_CHANNEL + static_cast<int>(set);
}

// Every channel has one map vertex per host vertex and the faces' own corners, so a
// channel's faces are the mesh's faces.
void AppendMapVertices(const aiMesh& mesh, const ChannelUse& use, scene::MeshData& out) {
    for (unsigned set : use.uvSets) {
        auto& channel = out.maps[MapChannelOfUvSet(set)];
        for (unsigned v = 0; v < mesh.mNumVertices; ++v) {
            const aiVector3D uv =
                mesh.HasTextureCoords(set) ? mesh.mTextureCoords[set][v] : aiVector3D();
            const float w = mesh.mNumUVComponents[set] > 2 ? uv.z : 0.0f;
            channel.vertices.emplace_back(uv.x, uv.y, w);
        }
    }
    if (!use.colours) return;
    auto& colours = out.maps[scene::MAP_COLOR_CHANNEL];
    auto& alpha = out.maps[scene::MAP_ALPHA_CHANNEL];
    for (unsigned v = 0; v < mesh.mNumVertices; ++v) {
        const aiColor4D c = mesh.HasVertexColors(0) ? mesh.mColors[0][v] : aiColor4D(1, 1, 1, 1);
        colours.vertices.emplace_back(c.r, c.g, c.b);
        alpha.vertices.emplace_back(c.a, 0.0f, 0.0f);
    }
}

// Appends one triangle mesh: its vertices after those already there, its faces with
// `materialId`, its normals and map vertices.
void AppendMesh(const aiMesh& mesh, std::uint32_t materialId, const ChannelUse& use,
                scene::MeshData& out) {
    const auto first = static_cast<std::uint32_t>(out.vertices.size());
    for (unsigned v = 0; v < mesh.mNumVertices; ++v) {
        const aiVector3D& p = mesh.mVertices[v];
        out.vertices.emplace_back(p.x, p.y, p.z);
        if (use.normals) {
            const aiVector3D& n = mesh.mNormals[v];
            out.normals->normals.emplace_back(n.x, n.y, n.z);
        }
    }
    for (unsigned f = 0; f < mesh.mNumFaces; ++f) {
        const aiFace& face = mesh.mFaces[f];
        scene::FaceData host;
        for (int c = 0; c < 3; ++c) host.v[c] = first + face.mIndices[c];
        // One smoothing group: the explicit normals carry the source's own smoothing, and a
        // source without normals is smooth all over, as the host makes a new mesh.
        host.smGroup = 1;
        host.matId = materialId;
        out.faces.push_back(host);
        const std::array<std::uint32_t, 3> corners{host.v[0], host.v[1], host.v[2]};
        for (auto& [channel, map] : out.maps) map.faces.push_back(corners);
        if (use.normals) out.normals->faces.push_back(corners);
    }
    AppendMapVertices(mesh, use, out);
}

void CountMorphTargets(ImportContext& ctx, const aiMesh& mesh) {
    if (mesh.mNumAnimMeshes > 0) ctx.unmapped["morph target"] += mesh.mNumAnimMeshes;
    if (mesh.GetNumColorChannels() > 1)
        ctx.unmapped["vertex colour set past the first"] += mesh.GetNumColorChannels() - 1;
}

// What the walk over the nodes keeps from one node to the next.
struct NodeWalk {
    ImportContext& ctx;
    const MaterialMap& materials;
    // The multi-material made for each order of sub-materials, shared by the nodes that use
    // the same order.
    std::map<std::vector<int>, int> multiMaterials = {};
    int unnamed = 0;  // nodes without a name so far
};

// The multi-material for a node whose meshes use `subMaterials` in this order.
int MultiMaterialFor(NodeWalk& walk, const std::vector<int>& subMaterials,
                     const std::string& nodeName) {
    auto [entry, added] = walk.multiMaterials.try_emplace(
        subMaterials, static_cast<int>(walk.ctx.scene.materials.size()));
    if (!added) return entry->second;
    scene::MaterialData multi;
    multi.kind = scene::MaterialKind::Multi;
    multi.name = nodeName + " Materials";
    multi.subMaterials = subMaterials;
    walk.ctx.scene.materials.push_back(std::move(multi));
    return entry->second;
}

// Turns the node into a mesh node when it has triangle meshes.
void ImportNodeMeshes(NodeWalk& walk, const aiNode& source, int hostIndex) {
    ImportContext& ctx = walk.ctx;
    std::vector<const aiMesh*> triangles;
    for (unsigned m = 0; m < source.mNumMeshes; ++m) {
        const aiMesh* mesh = ctx.source.mMeshes[source.mMeshes[m]];
        CountMorphTargets(ctx, *mesh);
        if (IsTriangleMesh(*mesh))
            triangles.push_back(mesh);
        else
            CountLinesAndPoints(ctx, *mesh);
    }
    if (triangles.empty()) return;
    const ChannelUse use = ChannelsOf(triangles);
    for (const aiMesh* mesh : triangles)
        if (mesh->HasNormals() && !HasUsableNormals(*mesh))
            ++ctx.unmapped["mesh with normals that are not numbers"];
    scene::NodeData& node = ctx.scene.nodes[hostIndex];
    node.object = scene::ObjectKind::Mesh;
    if (use.normals) node.mesh.normals.emplace();
    for (unsigned set : use.uvSets) node.mesh.maps[MapChannelOfUvSet(set)];
    if (use.colours) {
        node.mesh.maps[scene::MAP_COLOR_CHANNEL];
        node.mesh.maps[scene::MAP_ALPHA_CHANNEL];
    }
    std::vector<int> subMaterials;
    for (std::size_t i = 0; i < triangles.size(); ++i) {
        ctx.meshPlacement[triangles[i]] = {hostIndex,
                                           static_cast<std::uint32_t>(node.mesh.vertices.size())};
        const bool singleMesh = triangles.size() == 1;
        AppendMesh(*triangles[i], singleMesh ? 0 : static_cast<std::uint32_t>(i), use, node.mesh);
        subMaterials.push_back(walk.materials.at(triangles[i]->mMaterialIndex));
    }
    node.material = subMaterials.size() == 1 ? subMaterials.front()
                                             : MultiMaterialFor(walk, subMaterials, node.name);
}

// ---- Nodes ----

// Cameras and lights are found by their node's name; their parameters have no place.
scene::ObjectKind CameraOrLight(ImportContext& ctx, const aiNode& source) {
    for (unsigned i = 0; i < ctx.source.mNumCameras; ++i)
        if (ctx.source.mCameras[i]->mName == source.mName) {
            ++ctx.unmapped["camera"];
            return scene::ObjectKind::Camera;
        }
    for (unsigned i = 0; i < ctx.source.mNumLights; ++i)
        if (ctx.source.mLights[i]->mName == source.mName) {
            ++ctx.unmapped["light"];
            return scene::ObjectKind::Light;
        }
    return scene::ObjectKind::None;
}

bool NamesABoneOrChannel(const aiScene& scene, const aiString& name) {
    for (unsigned m = 0; m < scene.mNumMeshes; ++m)
        for (unsigned b = 0; b < scene.mMeshes[m]->mNumBones; ++b)
            if (scene.mMeshes[m]->mBones[b]->mName == name) return true;
    for (unsigned a = 0; a < scene.mNumAnimations; ++a)
        for (unsigned c = 0; c < scene.mAnimations[a]->mNumChannels; ++c)
            if (scene.mAnimations[a]->mChannels[c]->mNodeName == name) return true;
    return false;
}

// Assimp gives every scene one root node; a modelling host imports what is under it. The
// root is kept when it is a thing of its own: it has meshes, is a camera or light, a bone
// or animated.
bool KeepsRootNode(const aiScene& scene) {
    const aiNode& root = *scene.mRootNode;
    if (root.mNumMeshes > 0 || NamesABoneOrChannel(scene, root.mName)) return true;
    for (unsigned i = 0; i < scene.mNumCameras; ++i)
        if (scene.mCameras[i]->mName == root.mName) return true;
    for (unsigned i = 0; i < scene.mNumLights; ++i)
        if (scene.mLights[i]->mName == root.mName) return true;
    return false;
}

// A name for a node the source left unnamed, stable for the same source: its place among
// the unnamed nodes, depth first.
std::string NodeName(const aiNode& source, int& unnamed) {
    if (source.mName.length > 0) return TextOf(source.mName);
    return "Unnamed " + std::to_string(++unnamed);
}

struct PendingNode {
    const aiNode* source;
    int parent;  // host index; -1 for a top-level node
};

int AddNode(NodeWalk& walk, const PendingNode& pending) {
    ImportContext& ctx = walk.ctx;
    scene::NodeData node;
    node.name = NodeName(*pending.source, walk.unnamed);
    node.parent = pending.parent;
    const aiMatrix4x4& local = pending.source->mTransformation;
    node.transform = PlacementOf(pending.parent < 0 ? ctx.topLevelTransform * local : local);
    node.object = CameraOrLight(ctx, *pending.source);
    // A node with nothing of its own stays in the tree as a helper, so that its frame and
    // its place in the hierarchy are exported.
    if (node.object == scene::ObjectKind::None) node.object = scene::ObjectKind::Helper;
    const int index = static_cast<int>(ctx.scene.nodes.size());
    ctx.scene.nodes.push_back(std::move(node));
    ctx.nodeIndex[pending.source] = index;
    ctx.nodeByName.try_emplace(ctx.scene.nodes[index].name, index);
    ImportNodeMeshes(walk, *pending.source, index);
    return index;
}

void PushChildren(std::vector<PendingNode>& stack, const aiNode& node, int hostParent) {
    for (unsigned c = node.mNumChildren; c-- > 0;) stack.push_back({node.mChildren[c], hostParent});
}

}  // namespace

void ImportNodes(ImportContext& ctx, const MaterialMap& materials) {
    const aiNode& root = *ctx.source.mRootNode;
    const aiMatrix4x4 axisChange = AxisChangeToHost(ctx.source);
    // Depth first from a stack of its own, so that any depth of tree fits.
    std::vector<PendingNode> stack;
    if (KeepsRootNode(ctx.source)) {
        ctx.topLevelTransform = axisChange;
        stack.push_back({&root, -1});
    } else {
        ctx.topLevelTransform = axisChange * root.mTransformation;
        PushChildren(stack, root, -1);
    }
    NodeWalk walk{ctx, materials};
    while (!stack.empty()) {
        const PendingNode pending = stack.back();
        stack.pop_back();
        PushChildren(stack, *pending.source, AddNode(walk, pending));
    }
}

}  // namespace tarvo::assimpimport
