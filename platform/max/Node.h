// Scene nodes and what hangs off them: the animatable base, objects and the modifier
// stack, the transform controller, and INode.
#pragma once

#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "platform/max/MaxMath.h"
#include "platform/max/MaxTypes.h"
#include "platform/max/Mesh.h"

class HostScene;
class IParamBlock2;
class Mtl;
class INode;
namespace tarvo::scene {
struct MeshData;
}  // namespace tarvo::scene

// Everything in the scene that has a class and may have parameters, keys or interfaces.
class Animatable {
  public:
    virtual ~Animatable() = default;
    virtual Class_ID ClassID() = 0;
    virtual SClass_ID SuperClassID() = 0;
    virtual void GetClassName(MSTR& s) { s = MSTR(); }
    virtual BaseInterface* GetInterface(Interface_ID) { return nullptr; }
    virtual int NumParamBlocks() { return 0; }
    virtual IParamBlock2* GetParamBlock(int) { return nullptr; }
    // Appends the times of keys inside range whose kind is in flags (KEYAT_...), ascending
    // and without repeats; returns how many there are in total.
    virtual int GetKeyTimes(Tab<TimeValue>& times, Interval range, DWORD flags);
};

class ReferenceTarget : public Animatable {};

class Object : public ReferenceTarget {};

// The result of evaluating a node: the object at the end of its modifier stack.
class ObjectState {
  public:
    ObjectState() = default;
    explicit ObjectState(Object* o) : obj(o) {}
    Object* obj = nullptr;
};

// A base object of the scene: mesh, helper, camera, light, shape or target.
class BaseObject : public Object {
  public:
    BaseObject(SClass_ID superClass, Class_ID classId, std::string className)
        : m_superClass(superClass), m_classId(classId), m_className(std::move(className)) {}
    Class_ID ClassID() override { return m_classId; }
    SClass_ID SuperClassID() override { return m_superClass; }
    void GetClassName(MSTR& s) override { s = m_className; }

  private:
    SClass_ID m_superClass;
    Class_ID m_classId;
    std::string m_className;
};

// An editable mesh object: a base object that holds a host Mesh. The mesh is built from
// the node's mesh record the first time it is asked for, so a run that never looks at
// geometry never pays for it; from then on the object keeps it, with whatever normals
// were built on it.
class TriObject : public BaseObject {
  public:
    // The record must outlive the object (the scene owns both).
    explicit TriObject(const tarvo::scene::MeshData* source)
        : BaseObject(GEOMOBJECT_CLASS_ID, TRIOBJ_CLASS_ID, "Editable Mesh"), m_source(source) {}
    Mesh& GetMesh();
    // The record the mesh is built from.
    const tarvo::scene::MeshData* Source() const { return m_source; }

  private:
    const tarvo::scene::MeshData* m_source;
    std::optional<Mesh> m_mesh;
};

class Modifier : public ReferenceTarget {
  public:
    Modifier(Class_ID classId, std::string name) : m_classId(classId), m_name(std::move(name)) {}
    Class_ID ClassID() override { return m_classId; }
    SClass_ID SuperClassID() override { return OSM_CLASS_ID; }
    void GetClassName(MSTR& s) override { s = m_name; }
    const MCHAR* GetName() const { return m_name.c_str(); }

  private:
    Class_ID m_classId;
    std::string m_name;
};

// One level of a modifier stack: its modifiers (top first) over the next object down.
class IDerivedObject : public Object {
  public:
    Class_ID ClassID() override { return DERIVOB_CLASS_ID; }
    SClass_ID SuperClassID() override { return GEN_DERIVOB_CLASS_ID; }
    int NumModifiers() const { return static_cast<int>(m_modifiers.size()); }
    Modifier* GetModifier(int i) const { return m_modifiers[static_cast<std::size_t>(i)]; }
    Object* GetObjRef() const { return m_objRef; }

  private:
    friend class HostScene;
    std::vector<Modifier*> m_modifiers;
    Object* m_objRef = nullptr;
};

// A node's position, rotation and scale controller. GetKeyTimes reports the keys of the
// node's animation tracks: KEYAT_POSITION, KEYAT_ROTATION and KEYAT_SCALE choose the
// tracks.
class Control : public ReferenceTarget {
  public:
    Control(HostScene* scene, int node) : m_scene(scene), m_node(node) {}
    Class_ID ClassID() override { return PRS_CONTROL_CLASS_ID; }
    SClass_ID SuperClassID() override { return CTRL_MATRIX3_CLASS_ID; }
    int GetKeyTimes(Tab<TimeValue>& times, Interval range, DWORD flags) override;

  private:
    HostScene* m_scene;
    int m_node;
};

// A node of the scene tree. The root node has no parent, object or material.
class INode {
  public:
    INode(HostScene* scene, int index) : m_scene(scene), m_index(index) {}
    INode(const INode&) = delete;
    INode& operator=(const INode&) = delete;

    const MCHAR* GetName() const;
    int NumberOfChildren() const { return static_cast<int>(m_children.size()); }
    INode* GetChildNode(int i) const { return m_children[static_cast<std::size_t>(i)]; }
    INode* GetParentNode() const { return m_parent; }
    BOOL IsRootNode() const { return m_index < 0; }

    int Selected() const;
    // Hidden by the user. The renderer flag asks whether the renderer would skip it, which
    // here is the same.
    BOOL IsNodeHidden(BOOL forRenderer = FALSE) const;
    int Renderable() const;
    DWORD GetWireColor() const;
    Mtl* GetMtl() const;

    // The top of the object reference chain: the derived object of the modifier stack, or
    // the base object when there are no modifiers. A node without an object refers to an
    // unresolved object of class (0, 0); only the root refers to nothing.
    Object* GetObjectRef() const { return m_objectRef; }
    // The evaluated object. Hidden nodes are evaluated either way; a skinned mesh is given
    // in its initial pose (deformation is not evaluated).
    const ObjectState& EvalWorldState(TimeValue time, BOOL evalHidden = TRUE);
    Control* GetTMController() const { return m_controller.get(); }

    // Transforms at a time. The node transform follows the parent chain; the object
    // transform adds the object offset (the pivot); there are no space warps, so the
    // object transform after them is the same.
    Matrix3 GetNodeTM(TimeValue t, Interval* valid = nullptr) const;
    Matrix3 GetParentTM(TimeValue t) const;
    Matrix3 GetObjectTM(TimeValue t, Interval* valid = nullptr) const;
    Matrix3 GetObjTMBeforeWSM(TimeValue t, Interval* valid = nullptr) const;
    Matrix3 GetObjTMAfterWSM(TimeValue t, Interval* valid = nullptr) const;
    // The offset between node and object.
    Point3 GetObjOffsetPos() const;
    Quat GetObjOffsetRot() const;
    Point3 GetObjOffsetScale() const;

    // The node's index in the scene data (-1 for the root).
    int DataIndex() const { return m_index; }
    HostScene* Scene() const { return m_scene; }

  private:
    friend class HostScene;
    // A node transform evaluated at a time and kept for the next question about that time.
    struct TimedTM {
        TimeValue time;
        Matrix3 tm;
    };

    Matrix3 LocalTM(TimeValue t) const;
    // The node transform at t when the node still holds it, else null.
    const Matrix3* KnownNodeTM(TimeValue t) const;
    const Matrix3& RememberNodeTM(TimeValue t, const Matrix3& tm) const;
    // Where the transform at t is or would go among the remembered ones.
    std::vector<TimedTM>::iterator TimedSlot(TimeValue t) const;
    const Matrix3& NodeTM(TimeValue t) const;

    HostScene* m_scene;
    int m_index;
    INode* m_parent = nullptr;
    std::vector<INode*> m_children;
    Object* m_objectRef = nullptr;
    Object* m_baseObject = nullptr;
    std::unique_ptr<Control> m_controller;
    ObjectState m_state;
    // Whether the node or one of its ancestors has keys, so that the node transform changes
    // with time.
    bool m_animatedChain = false;
    // The node transform once evaluated, for a node whose transform never changes.
    mutable Matrix3 m_nodeTM;
    mutable bool m_hasNodeTM = false;
    // For an animated chain, the node transform at each time it was evaluated, by rising
    // time (see NodeTM).
    mutable std::vector<TimedTM> m_timedTMs;
};
