// IGame, the host's scene-access layer: the scene's top-level nodes, nodes, objects,
// meshes with their faces and attribute arrays, and skins.
#pragma once

#include <array>
#include <map>
#include <memory>
#include <vector>

#include "platform/max/MaxMath.h"
#include "platform/max/MaxTypes.h"
#include "platform/max/Mesh.h"

class INode;
class Object;
class IGameScene;
class IGameSkin;
class IGameMesh;
class IGameNode;
class HostScene;
namespace tarvo::scene {
struct MapChannel;
struct MeshData;
struct ModifierData;
}  // namespace tarvo::scene

// A face as IGame hands it out: per corner an index into each attribute array.
class FaceEx {
  public:
    DWORD vert[3] = {0, 0, 0};
    DWORD norm[3] = {0, 0, 0};
    DWORD color[3] = {0, 0, 0};
    DWORD alpha[3] = {0, 0, 0};
    DWORD texCoord[3] = {0, 0, 0};
    DWORD smGrp = 0;
    int matID = 0;
    DWORD flags = 0;
    int meshFaceIndex = 0;
    DWORD edgeVis[3] = {1, 1, 1};
};

class IGameObject {
  public:
    enum ObjectTypes {
        IGAME_UNKNOWN = 0,
        IGAME_LIGHT = 1,
        IGAME_MESH = 2,
        IGAME_SPLINE = 3,
        IGAME_CAMERA = 4,
        IGAME_HELPER = 5,
        IGAME_BONE = 6,
        IGAME_IKCHAIN = 7,
        IGAME_XREF = 8,
    };

    IGameObject(INode* node, ObjectTypes type) : m_node(node), m_type(type) {}
    virtual ~IGameObject();
    ObjectTypes GetIGameType() const { return m_type; }
    Object* GetMaxObject() const;
    // Prepares the object's data; true when there is data to read.
    virtual bool InitializeData() { return true; }
    // True when the node carries a Skin or Physique modifier with skin data.
    bool IsObjectSkinned();
    // The skin of the first Skin or Physique modifier found down the stack; null if none.
    IGameSkin* GetIGameSkin();

  protected:
    INode* m_node;
    ObjectTypes m_type;
    std::unique_ptr<IGameSkin> m_skin;
    bool m_skinLooked = false;
};

// Convenience names as the IGame headers give them.
constexpr IGameObject::ObjectTypes IGAME_UNKNOWN = IGameObject::IGAME_UNKNOWN;
constexpr IGameObject::ObjectTypes IGAME_LIGHT = IGameObject::IGAME_LIGHT;
constexpr IGameObject::ObjectTypes IGAME_MESH = IGameObject::IGAME_MESH;
constexpr IGameObject::ObjectTypes IGAME_SPLINE = IGameObject::IGAME_SPLINE;
constexpr IGameObject::ObjectTypes IGAME_CAMERA = IGameObject::IGAME_CAMERA;
constexpr IGameObject::ObjectTypes IGAME_HELPER = IGameObject::IGAME_HELPER;

// A mesh through IGame. Attribute arrays and faces are ready after InitializeData.
//
// Texture vertices are map channel 1, colour vertices channel 0, alpha vertices channel -2.
// The active map channels are the channels from 1 up that hold data, ascending. Normals are
// the explicit normals when the mesh has them, otherwise the smoothing-group normals of
// the host Mesh (buildNormals), one list entry per distinct normal. Object space is the
// mesh's own space; world space applies the node's object transform at the static frame.
//
// The host Mesh is the node object's own (its TriObject's) whenever that is built from the
// same mesh record, so the mesh and its normals exist once however many readers prepare
// them; only a mesh over some other record gets a Mesh of its own.
class IGameMesh : public IGameObject {
  public:
    IGameMesh(INode* node, const tarvo::scene::MeshData* data, IGameScene* scene);
    ~IGameMesh() override;

    bool InitializeData() override;
    void SetCreateOptimizedNormalList() { m_optimizedNormals = true; }
    void SetUseWeightedNormals() { m_weightedNormals = true; }

    int GetNumberOfVerts() const;
    int GetNumberOfFaces() const;
    int GetNumberOfTexVerts() const;
    int GetNumberOfColorVerts() const;
    int GetNumberOfAlphaVerts() const;
    int GetNumberOfNormals() const;

    // The face is put together from the mesh record when asked for, into one of the last
    // kRecentFaces faces handed out: the pointer stays valid, and the face unchanged, until
    // kRecentFaces more faces have been asked for (or the object is released). A caller that
    // keeps faces for longer copies them. Null for an index out of range.
    static constexpr int kRecentFaces = 8;
    FaceEx* GetFace(int index);
    Point3 GetVertex(int index, bool ObjectSpace = false);
    bool GetVertex(int index, Point3& vert, bool ObjectSpace = false);
    Point2 GetTexVertex(int index);
    Point3 GetColorVertex(int index);
    float GetAlphaVertex(int index);
    Point3 GetNormal(int index, bool ObjectSpace = false);

    Tab<int> GetActiveMapChannelNum();
    // Three map-vertex indices of a face in a channel; false when the channel is absent.
    bool GetMapFaceIndex(int mapChannel, int faceNum, DWORD* index);
    Point3 GetMapVertex(int mapChannel, int index);
    int GetNumberOfMapVerts(int mapChannel);

    // Material ids in use, ascending, and the id of a face.
    Tab<int> GetActiveMatIDs();
    int GetFaceMaterialID(int faceIndex);

    // The host's own mesh with its normals built (InitializeData runs first when it has not
    // yet). It is the node object's mesh when that is built from the same record, so
    // changes made to it are the object's.
    Mesh* GetMaxMesh();

  private:
    using CornerIndices = std::array<DWORD, 3>;

    // The host mesh, normals built: the node object's when it is the one this would build.
    Mesh& PreparedHostMesh();
    Mesh* NodeObjectMesh() const;
    void BuildNormalList();
    static Point3 CornerNormal(Mesh& mesh, int face, int vertex);
    const std::vector<Point3>& NormalList() const;
    CornerIndices NormalIndices(std::size_t face) const;
    void FillFace(FaceEx& face, std::size_t index) const;
    Matrix3 WorldTM() const;
    // The channel's data, or null when the mesh has none.
    const tarvo::scene::MapChannel* Channel(int mapChannel) const;

    const tarvo::scene::MeshData* m_data;
    // The texture, colour and alpha channels, looked up once: they are read per corner.
    const tarvo::scene::MapChannel* m_texChannel;
    const tarvo::scene::MapChannel* m_colorChannel;
    const tarvo::scene::MapChannel* m_alphaChannel;
    IGameScene* m_scene;
    Mesh* m_hostMesh = nullptr;  // the node object's mesh, or m_ownMesh
    Mesh m_ownMesh;
    // Without explicit normals: the distinct smoothing-group normals and, per face, the
    // list entry of each corner (with explicit normals both are read from the record).
    std::vector<Point3> m_normals;
    std::vector<CornerIndices> m_cornerNormals;
    std::array<FaceEx, kRecentFaces> m_recentFaces;
    std::size_t m_nextRecentFace = 0;
    bool m_initialised = false;
    bool m_optimizedNormals = false;
    bool m_weightedNormals = false;
};

// The skin of a skinned mesh: per vertex its bones and weights, the initial-pose mesh and
// the bind transforms (the scene at time 0).
class IGameSkin {
  public:
    enum SkinType { IGAME_PHYSIQUE = 0, IGAME_SKIN = 1 };

    IGameSkin(INode* node, const tarvo::scene::ModifierData* modifier, HostScene* scene,
              IGameScene* igame);
    ~IGameSkin();

    int GetTotalBoneCount() const;
    int GetNumOfSkinnedVerts() const;
    SkinType GetSkinType() const;
    int GetNumberOfBones(int vertexIndex) const;
    float GetWeight(int vertexIndex, int boneIndex) const;
    INode* GetBone(int vertexIndex, int boneIndex) const;
    // The IGame node of a vertex's bone; null when IGame has not been initialised with it.
    IGameNode* GetIGameBone(int vertexIndex, int boneIndex) const;
    // The mesh in its initial pose.
    IGameMesh* GetInitialPose();
    // The node's object transform when the skin was bound: the one the skin keeps, else
    // the one at time 0.
    void GetInitSkinTM(GMatrix& intMat) const;
    // The bone's node transform when the skin was bound: the one the skin keeps for it, else
    // the one at time 0; false when the node is not a bone of the skin.
    bool GetInitBoneTM(INode* boneNode, GMatrix& intMat) const;
    // The skinned vertex in world space at time t, as the host deforms it: the initial-pose
    // vertex placed by the object's bind transform, then moved by each of its bones from
    // the bone's bind transform to its node transform at t, the moves blended by the weights
    // (scaled to a total of 1). A vertex without influences follows the object.
    Point3 GetDeformedVertex(int vertexIndex, TimeValue t) const;

  private:
    // The bind pose where the skin keeps none.
    static constexpr TimeValue kDefaultBindTime = 0;

    INode* BoneNode(int index) const;
    Matrix3 InitSkinMatrix() const;
    // For a node that is one of the skin's bones.
    Matrix3 InitBoneMatrix(INode* boneNode) const;

    INode* m_node;
    const tarvo::scene::ModifierData* m_modifier;
    HostScene* m_scene;
    IGameScene* m_igame;
    std::unique_ptr<IGameMesh> m_initialPose;
};

class IGameNode {
  public:
    IGameNode(INode* node, IGameScene* scene) : m_node(node), m_scene(scene) {}
    ~IGameNode();
    const MCHAR* GetName() const;
    int GetNodeID() const;
    INode* GetMaxNode() const { return m_node; }
    IGameNode* GetNodeParent() const { return m_parent; }
    int GetChildCount() const { return static_cast<int>(m_children.size()); }
    IGameNode* GetNodeChild(int index) const { return m_children[static_cast<std::size_t>(index)]; }
    // The node's object, made on first request and kept until ReleaseIGameObject.
    IGameObject* GetIGameObject();
    void ReleaseIGameObject();

  private:
    friend class IGameScene;
    INode* m_node;
    IGameScene* m_scene;
    IGameNode* m_parent = nullptr;
    std::vector<IGameNode*> m_children;
    std::unique_ptr<IGameObject> m_object;
};

class IGameScene {
  public:
    explicit IGameScene(HostScene* scene = nullptr) : m_scene(scene) {}
    ~IGameScene();
    // Builds the node tree: every node, or with selected true only the selected ones (a
    // selected node then hangs under its nearest selected ancestor).
    bool InitialiseIGame(bool selected = false);
    // The frame at which IGame evaluates world-space data (ticks = frame × ticks per frame).
    void SetStaticFrame(int frame) { m_staticFrame = frame; }
    TimeValue GetStaticTime() const;
    int GetTopLevelNodeCount() const { return static_cast<int>(m_topLevel.size()); }
    IGameNode* GetTopLevelNode(int index) const {
        return m_topLevel[static_cast<std::size_t>(index)];
    }
    int GetTotalNodeCount() const { return static_cast<int>(m_nodes.size()); }
    IGameNode* GetIGameNode(INode* node) const;
    void ReleaseIGame();
    HostScene* Scene() const { return m_scene; }

  private:
    HostScene* m_scene;
    int m_staticFrame = 0;
    std::vector<std::unique_ptr<IGameNode>> m_nodes;
    std::vector<IGameNode*> m_topLevel;
};

class IGameConversionManager {
  public:
    enum CoordSystem { IGAME_MAX = 0, IGAME_D3D = 1, IGAME_OGL = 2, IGAME_USER = 3 };
    // The axes IGame hands out. Only the host's own axes (IGAME_MAX) are served; asking
    // for another system is refused and the setting stays.
    bool SetCoordSystem(CoordSystem system);
    CoordSystem GetCoordSystem() const { return m_system; }

  private:
    CoordSystem m_system = IGAME_MAX;
};

// The IGame of the running host's scene (GetCOREInterface's scene).
IGameScene* GetIGameInterface();
IGameConversionManager* GetConversionManager();
float GetIGameVersion();
