
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

void CountNodes(TarvoDirectXMaxExporter& exporter, INode* node, std::int32_t& counter) {
    ++counter;
    AddUniqueMaterial(exporter, node->GetMtl());
    // Every name the file may hold, so that a renamed frame never takes a later one's name.
    exporter.frameNames.Reserve(MakeNodeName(node->GetName()));
    for (int i = 0; i < node->NumberOfChildren(); ++i)
        CountNodes(exporter, node->GetChildNode(i), counter);
}

int WalkNode(TarvoDirectXMaxExporter& exporter, IGameNode* gameNode, Interface* host,
             const XParent& parent, INode* parentNode) {
    ++exporter.visitedNodeCount;
    INode* node = gameNode->GetMaxNode();
    ShowNodeProgress(exporter, node);
    DebugPrint("Current Node: %ld  Name: %s Children: %ld \n",
               static_cast<long>(exporter.visitedNodeCount), node->GetName(),
               static_cast<long>(node->NumberOfChildren()));
    if (host->GetCancel()) return 0;

    ComRef<ID3DXFileSaveData> frame;  // held until the children are written
    if (exporter.exportSelected && !node->Selected()) {
        PrintClass("** Didn't Incude %s : Class_ID(%X,%X)\n", node);
    } else {
        PrintClass("%s : Class_ID(%X,%X)\n", node);
        gameNode->GetIGameObject();
        Object* object = EvaluatedObject(node, exporter.staticTime);
        if (object == nullptr) return 0;
        ExportNodeContent(exporter, gameNode, node, object, parent, parentNode, frame);
    }

    ChildPlacement children = PlacementOfChildren(exporter, node, frame.Get(), parent, parentNode);
    int result = 1;
    for (int i = 0; i < gameNode->GetChildCount(); ++i) {
        if (WalkNode(exporter, gameNode->GetNodeChild(i), host, children.parent,
                     children.parentNode) == 0) {
            result = 0;
            break;
        }
    }
    return result;
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
