#include <vector>

#include "anim/Animation.h"
#include "material/Materials.h"
#include "mesh/Mesh.h"
#include "plugin/Exporter.h"
#include "xfile/XFile.h"

namespace {

Object* EvaluatedObject(INode* node, TimeValue time) {
    return node->EvalWorldState(time, TRUE).obj;
}

[[nodiscard]] HRESULT AddMatrix(TarvoDirectXMaxExporter& exporter, Matrix3 matrix,
                                ID3DXFileSaveData* frame) {
    FlipMatrixYZ(exporter, matrix);
    float payload[16];
    MatrixToXFile(matrix, payload);
    return XParent(frame).AddLeaf(TID_D3DRMFrameTransformMatrix, nullptr, sizeof payload, payload);
}

// The node's frame, or none when it cannot be added.
ComRef<ID3DXFileSaveData> AddNodeFrame(TarvoDirectXMaxExporter& exporter, INode* node,
                                       const XParent& parent) {
    const std::string& name = exporter.frameNames.NameOf(node, MakeNodeName(node->GetName()));
    ComRef<ID3DXFileSaveData> frame;
    (void)parent.AddDataObject(TID_D3DRMFrame, name.c_str(), nullptr, 0, nullptr, frame.Put());
    return frame;
}

void PrintClass(const char* format, INode* node) {
    Object* reference = node->GetObjectRef();
    Class_ID id = reference != nullptr ? reference->ClassID() : Class_ID(0, 0);
    DebugPrint(format, node->GetName(), static_cast<unsigned>(id.PartA()),
               static_cast<unsigned>(id.PartB()));
}

void ShowNodeProgress(TarvoDirectXMaxExporter& exporter, INode* node) {
    std::string title = node->GetName();
    if (const char* suffix = LoadResString(IDS_MESH)) title += suffix;
    int percent =
        exporter.totalNodeCount > 0 ? exporter.visitedNodeCount * 100 / exporter.totalNodeCount : 0;
    exporter.hostInterface->ProgressUpdate(percent, FALSE, title.c_str());
}

// How many nodes without an object are named one by one; a scene made by a program may
// hold thousands, and a warning per node would bury everything else said.
constexpr std::int32_t kNodesWithoutObjectNamed = 5;

// Such a node is passed over as an unselected one is: the rest of the scene is still the
// user's to have, and the user is told what was left out.
void WarnOfNodeWithoutObject(TarvoDirectXMaxExporter& exporter, INode* node) {
    if (++exporter.nodesWithoutObject > kNodesWithoutObjectNamed) return;
    DebugPrint("Warning: node \"%s\" has no object; it is not exported, its children are\n",
               node->GetName());
}

// The node's own content by the kind of its evaluated object.
void ExportNodeContent(TarvoDirectXMaxExporter& exporter, IGameNode* gameNode, INode* node,
                       Object* object, const XParent& parent, INode* parentNode,
                       ComRef<ID3DXFileSaveData>& frame) {
    switch (object->SuperClassID()) {
        case GEOMOBJECT_CLASS_ID: {
            if (!exporter.options.exportGeom) return;
            // A target writes nothing, so no Animation may name it.
            const bool written = ExportGeomNode(exporter, gameNode, parent, parentNode, frame) != 0;
            exporter.hostInterface->ProgressUpdate(0, FALSE, LoadResString(IDS_ANIMATION_SETS));
            if (exporter.options.exportAnimation && written)
                RegisterSegmentNode(exporter, gameNode);
            return;
        }
        case HELPER_CLASS_ID: {
            IGameObject* gameObject = gameNode->GetIGameObject();
            if (gameObject != nullptr && gameObject->GetIGameType() == IGameObject::IGAME_HELPER) {
                DebugPrint("IGame Detected Helper\n");
            }
            if (!exporter.options.exportDummy) return;
            ExportHelperNode(exporter, node, parent, parentNode, frame);
            if (exporter.options.exportAnimation) RegisterSegmentNode(exporter, gameNode);
            return;
        }
        case GEN_DERIVOB_CLASS_ID:
            DebugPrint("mmmmm May have something here\n");
            return;
        default:
            return;  // cameras, lights, shapes, systems: no frame
    }
}

}  // namespace

// Where the children of a node go. With top frames only every frame stands at the top level
// of the file; otherwise a child hangs under the node's frame, or, when the node made none,
// under the node's own parent, and its matrix is relative to the node of that frame.
struct ChildPlacement {
    XParent parent;
    INode* parentNode;
};

ChildPlacement PlacementOfChildren(const TarvoDirectXMaxExporter& exporter, INode* node,
                                   ID3DXFileSaveData* frame, const XParent& parent,
                                   INode* parentNode) {
    if (exporter.options.frameSetting == kFrameSettingTopFrameOnly)
        return {XParent(exporter.saveObject.Get()), nullptr};
    if (frame != nullptr) return {XParent(frame), node};
    return {parent, parentNode};
}

void WarnOfMoreNodesWithoutObject(const TarvoDirectXMaxExporter& exporter) {
    const std::int32_t unnamed = exporter.nodesWithoutObject - kNodesWithoutObjectNamed;
    if (unnamed <= 0) return;
    DebugPrint(
        "Warning: %ld more nodes have no object; they are not exported, their children "
        "are\n",
        static_cast<long>(unnamed));
}

// Each node before its children, children in order. The nodes still to count wait on a list
// of their own rather than on the call stack, so a tree of any depth can be counted.
void CountNodes(TarvoDirectXMaxExporter& exporter, INode* node, std::int32_t& counter) {
    std::vector<INode*> pending{node};  // the next node to count at the back
    while (!pending.empty()) {
        INode* next = pending.back();
        pending.pop_back();
        ++counter;
        AddUniqueMaterial(exporter, next->GetMtl());
        // Every name the file may hold, so that a renamed frame never takes a later one's name.
        exporter.frameNames.Reserve(MakeNodeName(next->GetName()));
        for (int i = next->NumberOfChildren(); i-- > 0;) pending.push_back(next->GetChildNode(i));
    }
}

namespace {

// A node whose children are being walked: where they go, and its frame, which it holds
// until the last of them is written.
struct OpenNode {
    IGameNode* gameNode;
    ComRef<ID3DXFileSaveData> frame;
    ChildPlacement children;
    int nextChild = 0;
};

// The node's frame and content, when it has any; false when the user has cancelled. The node
// joins `open`, so that its children are walked next.
bool EnterNode(TarvoDirectXMaxExporter& exporter, IGameNode* gameNode, Interface* host,
               const XParent& parent, INode* parentNode, std::vector<OpenNode>& open) {
    ++exporter.visitedNodeCount;
    INode* node = gameNode->GetMaxNode();
    ShowNodeProgress(exporter, node);
    DebugPrint("Current Node: %ld  Name: %s Children: %ld \n",
               static_cast<long>(exporter.visitedNodeCount), node->GetName(),
               static_cast<long>(node->NumberOfChildren()));
    if (host->GetCancel()) return false;

    ComRef<ID3DXFileSaveData> frame;
    if (exporter.exportSelected && !node->Selected()) {
        PrintClass("** Didn't Incude %s : Class_ID(%X,%X)\n", node);
    } else {
        PrintClass("%s : Class_ID(%X,%X)\n", node);
        gameNode->GetIGameObject();
        Object* object = EvaluatedObject(node, exporter.staticTime);
        if (object == nullptr)
            WarnOfNodeWithoutObject(exporter, node);
        else
            ExportNodeContent(exporter, gameNode, node, object, parent, parentNode, frame);
    }
    ChildPlacement children = PlacementOfChildren(exporter, node, frame.Get(), parent, parentNode);
    open.push_back(OpenNode{gameNode, std::move(frame), children});
    return true;
}

// Lets go of the frames of the nodes still open, the deepest first.
void CloseAll(std::vector<OpenNode>& open) {
    while (!open.empty()) open.pop_back();
}

}  // namespace

// Depth first, as the file nests the frames: the nodes whose children are being walked wait
// on a stack of their own, so a tree of any depth is walked without deep recursion. A cancel
// stops the walk at the next node entered, and the whole call then gives 0.
int WalkNode(TarvoDirectXMaxExporter& exporter, IGameNode* gameNode, Interface* host,
             const XParent& parent, INode* parentNode) {
    std::vector<OpenNode> open;  // from `gameNode` down to the deepest node being walked
    if (!EnterNode(exporter, gameNode, host, parent, parentNode, open)) return 0;
    while (!open.empty()) {
        OpenNode& deepest = open.back();
        // The count is asked again after every child, as the children are walked.
        if (deepest.nextChild >= deepest.gameNode->GetChildCount()) {
            open.pop_back();
            continue;
        }
        IGameNode* child = deepest.gameNode->GetNodeChild(deepest.nextChild++);
        const ChildPlacement where = deepest.children;  // `deepest` moves when `open` grows
        if (!EnterNode(exporter, child, host, where.parent, where.parentNode, open)) {
            CloseAll(open);
            return 0;
        }
    }
    return 1;
}

int ExportGeomNode(TarvoDirectXMaxExporter& exporter, IGameNode* gameNode, const XParent& parent,
                   INode* parentNode, ComRef<ID3DXFileSaveData>& frame) {
    INode* node = gameNode->GetMaxNode();
    Object* object = EvaluatedObject(node, exporter.staticTime);
    if (object == nullptr || object->ClassID() == TARGET_CLASS_ID) return 0;
    if (exporter.options.frameSetting <= kFrameSettingNoFrames) {
        ExportMesh(exporter, gameNode, exporter.staticTime, parent);
        return 1;
    }
    frame = AddNodeFrame(exporter, node, parent);
    // When the frame cannot be added, its content goes under the parent instead.
    XParent meshParent = frame ? XParent(frame.Get()) : parent;
    ComRef<ID3DXFileSaveData> offsetFrame;
    if (frame) {
        // The walk goes on whatever these two give: the frame stays, with what could be added.
        (void)WriteFrameTransform(exporter, node, parentNode, exporter.staticTime, frame.Get());
        (void)WriteObjectOffsetFrame(exporter, node, exporter.staticTime, frame.Get(), offsetFrame);
        if (offsetFrame) meshParent = XParent(offsetFrame.Get());
    }
    bool visible = !node->IsNodeHidden(FALSE) && node->Renderable();
    if (visible) ExportMesh(exporter, gameNode, exporter.staticTime, meshParent);
    return 1;
}

int ExportHelperNode(TarvoDirectXMaxExporter& exporter, INode* node, const XParent& parent,
                     INode* parentNode, ComRef<ID3DXFileSaveData>& frame) {
    frame.Reset();
    if (exporter.options.frameSetting <= kFrameSettingNoFrames) return 1;
    frame = AddNodeFrame(exporter, node, parent);
    if (frame) {
        (void)WriteFrameTransform(exporter, node, parentNode, exporter.staticTime, frame.Get());
        ComRef<ID3DXFileSaveData> offsetFrame;
        (void)WriteObjectOffsetFrame(exporter, node, exporter.staticTime, frame.Get(), offsetFrame);
    }
    return 1;
}

HRESULT WriteFrameTransform(TarvoDirectXMaxExporter& exporter, INode* node, INode* parentNode,
                            TimeValue time, ID3DXFileSaveData* frame) {
    return AddMatrix(exporter, PlacementInFrame(exporter, node, parentNode, time), frame);
}

HRESULT WriteObjectOffsetFrame(TarvoDirectXMaxExporter& exporter, INode* node, TimeValue time,
                               ID3DXFileSaveData* frame, ComRef<ID3DXFileSaveData>& offsetFrame) {
    offsetFrame.Reset();
    if (exporter.options.frameSetting == kFrameSettingTopFrameOnly) return 0;
    Matrix3 nodePlacement = node->GetNodeTM(time);
    Matrix3 objectPlacement = node->GetObjTMAfterWSM(time);
    if (SameBits(objectPlacement, nodePlacement)) return 0;
    ComRef<ID3DXFileSaveData> added;
    (void)frame->AddDataObject(TID_D3DRMFrame, nullptr, nullptr, 0, nullptr, added.Put());
    if (!added) return D3DXFERR_BADOBJECT;
    HRESULT hr = AddMatrix(exporter, objectPlacement * Inverse(nodePlacement), added.Get());
    // Without its matrix the offset frame stays in the file, empty, and the mesh goes into
    // the node frame.
    if (SUCCEEDED(hr)) offsetFrame = std::move(added);
    return hr;
}

void RegisterSegmentNode(TarvoDirectXMaxExporter& exporter, IGameNode* node) {
    try {
        DebugPrint("Animation Node: %s\n", node->GetName());
        for (AnimSegment& segment : exporter.options.segments) {
            segment.nodes.push_back(SegmentNode{node->GetName(), node,
                                                exporter.options.aniOpenClosed,
                                                exporter.options.aniPositionQuality});
        }
    } catch (...) {
        DebugPrint("We Crashed out - what happened\n");
    }
}
