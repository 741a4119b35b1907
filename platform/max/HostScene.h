// The live scene: the host's objects (nodes, objects, modifiers, materials, maps) built
// over the scene's plain records, plus the scene's file properties.
#pragma once

#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

#include "platform/max/FileProperties.h"
#include "platform/max/MaxMath.h"
#include "platform/max/MaxTypes.h"
#include "platform/max/Mesh.h"
#include "platform/max/SceneCheck.h"
#include "platform/max/SceneData.h"

// The objects the scene builds and owns. Their own sources read the scene back through
// this header, so it names them without including theirs.
class IGameConversionManager;
class IGameScene;
class INode;
class IParamBlock2;
class Modifier;
class Mtl;
class Object;
class Texmap;

// The host Mesh of a mesh record: faces with smoothing groups and material ids, and the
// explicit normals that every corner of a vertex agrees on as its specified normal.
Mesh BuildHostMesh(const tarvo::scene::MeshData& data);

class HostScene {
  public:
    // Checks the records (indices in range, parents before children, no material among its
    // own sub-materials) and builds the objects; throws std::invalid_argument naming the
    // first problem.
    explicit HostScene(tarvo::scene::SceneData data);
    // Builds the objects over records already checked, without going over them again.
    explicit HostScene(tarvo::scene::CheckedScene checked);
    ~HostScene();
    HostScene(const HostScene&) = delete;
    HostScene& operator=(const HostScene&) = delete;

    // The records, with the current selection, time and file properties.
    const tarvo::scene::SceneData& Data() const { return m_data; }

    INode* RootNode() { return m_root.get(); }
    int NodeCount() const { return static_cast<int>(m_nodes.size()); }
    INode* Node(int index) {
        return index < 0 ? nullptr : m_nodes[static_cast<std::size_t>(index)].get();
    }
    // The first node with the name, or null.
    INode* FindNode(const std::string& name);
    Mtl* Material(int index) {
        return index < 0 ? nullptr : m_materials[static_cast<std::size_t>(index)].get();
    }
    IGameScene* IGame() { return m_igame.get(); }
    IGameConversionManager* ConversionManager() { return m_conversion.get(); }

    // Time.
    TimeValue CurrentTime() const { return m_data.currentTime; }
    void SetCurrentTime(TimeValue t) { m_data.currentTime = t; }
    Interval AnimRange() const { return {m_data.animStart, m_data.animEnd}; }
    int FrameRate() const { return m_data.frameRate; }
    int TicksPerFrame() const { return m_data.ticksPerFrame; }

    // Selection.
    void SetSelected(int node, bool selected);
    void ClearSelection();

    // The node's records and placement at a time (relative to its parent).
    const tarvo::scene::NodeData& NodeRecord(int index) const {
        return m_data.nodes[static_cast<std::size_t>(index)];
    }
    Matrix3 LocalTransform(int node, TimeValue t) const;

    // File properties (the records stay in Data().fileProperties).
    int NumProperties(int set) const;
    const PROPSPEC* PropertySpec(int set, int index);
    const PROPVARIANT* PropertyVariant(int set, int index);
    int FindProperty(int set, const PROPSPEC* spec) const;
    void AddProperty(int set, const PROPSPEC* spec, const PROPVARIANT* value);
    void DeleteProperty(int set, const PROPSPEC* spec);

  private:
    struct PropertyView;

    void BuildNodes();
    void BuildNodeObjects(INode& node, const tarvo::scene::NodeData& data);
    void BuildMaterials();
    std::unique_ptr<Mtl> MakeMaterial(const tarvo::scene::MaterialData& data);
    std::unique_ptr<IParamBlock2> MakeParamBlock(
        const std::vector<tarvo::scene::ParamData>& params);
    Texmap* MakeTexmap(const tarvo::scene::TexmapData& data);
    std::string ResolvePath(const std::string& stored) const;
    int PropertyRecordIndex(int set, int index) const;
    PropertyView& ViewOf(int record);

    tarvo::scene::SceneData m_data;
    std::unique_ptr<INode> m_root;
    std::vector<std::unique_ptr<INode>> m_nodes;
    std::vector<std::unique_ptr<Object>> m_objects;
    std::vector<std::unique_ptr<Modifier>> m_modifiers;
    std::vector<std::unique_ptr<Mtl>> m_materials;
    std::vector<std::unique_ptr<Texmap>> m_texmaps;
    std::vector<std::unique_ptr<PropertyView>> m_propertyViews;
    std::unique_ptr<IGameScene> m_igame;
    std::unique_ptr<IGameConversionManager> m_conversion;
};
