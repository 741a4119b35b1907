#include "platform/max/Node.h"

#include <algorithm>

#include "platform/max/HostScene.h"

int Animatable::GetKeyTimes(Tab<TimeValue>&, Interval, DWORD) {
    return 0;
}

namespace {

template <typename T>
void AppendKeyTimes(const std::vector<tarvo::scene::Key<T>>& keys, Interval range,
                    std::vector<TimeValue>& out) {
    for (const auto& key : keys)
        if (range.InInterval(key.time)) out.push_back(key.time);
}

}  // namespace

int Control::GetKeyTimes(Tab<TimeValue>& times, Interval range, DWORD flags) {
    const auto& tracks = m_scene->NodeRecord(m_node).animation;
    std::vector<TimeValue> found;
    if (flags & KEYAT_POSITION) AppendKeyTimes(tracks.position, range, found);
    if (flags & KEYAT_ROTATION) AppendKeyTimes(tracks.rotation, range, found);
    if (flags & KEYAT_SCALE) AppendKeyTimes(tracks.scale, range, found);
    std::sort(found.begin(), found.end());
    found.erase(std::unique(found.begin(), found.end()), found.end());
    times.Append(static_cast<int>(found.size()), found.data());
    return times.Count();
}

const MCHAR* INode::GetName() const {
    return IsRootNode() ? "Scene Root" : m_scene->NodeRecord(m_index).name.c_str();
}

int INode::Selected() const {
    return !IsRootNode() && m_scene->NodeRecord(m_index).selected;
}

BOOL INode::IsNodeHidden(BOOL) const {
    return !IsRootNode() && m_scene->NodeRecord(m_index).hidden ? TRUE : FALSE;
}

int INode::Renderable() const {
    return IsRootNode() || m_scene->NodeRecord(m_index).renderable;
}

DWORD INode::GetWireColor() const {
    return IsRootNode() ? 0 : m_scene->NodeRecord(m_index).wireColor;
}

Mtl* INode::GetMtl() const {
    return IsRootNode() ? nullptr : m_scene->Material(m_scene->NodeRecord(m_index).material);
}

const ObjectState& INode::EvalWorldState(TimeValue, BOOL) {
    m_state = ObjectState(m_baseObject);
    return m_state;
}

Matrix3 INode::LocalTM(TimeValue t) const {
    return m_scene->LocalTransform(m_index, t);
}

Matrix3 INode::GetNodeTM(TimeValue t, Interval* valid) const {
    if (valid) *valid = Interval(t, t);
    return NodeTM(t);
}

bool INode::KnowsNodeTM(TimeValue t) const {
    return IsRootNode() || (m_hasNodeTM && (m_nodeTMTime == t || !m_animatedChain));
}

// The node transform is the product of the local transforms from the root down. Each node
// keeps the last one it was asked for, so that a walk of the tree evaluates every local
// transform once rather than once per descendant; the transform is composed in a loop from
// the nearest ancestor that knows it at t, so a deep tree needs no deep recursion.
const Matrix3& INode::NodeTM(TimeValue t) const {
    static const Matrix3 kWorld;  // the root's: the identity
    if (IsRootNode()) return kWorld;
    std::vector<const INode*> unknown;  // from this node up, each without its transform at t
    const INode* known = this;
    for (; known != nullptr && !known->KnowsNodeTM(t); known = known->m_parent)
        unknown.push_back(known);
    for (auto it = unknown.rbegin(); it != unknown.rend(); ++it) {
        const INode& node = **it;
        const Matrix3& parent = node.m_parent ? node.m_parent->NodeTM(t) : kWorld;
        // A node that sits exactly on its parent takes the parent's transform as it is;
        // callers compare the two bit for bit.
        Matrix3 local = node.LocalTM(t);
        node.m_nodeTM = local.IsIdentity() ? parent : local * parent;
        node.m_nodeTMTime = t;
        node.m_hasNodeTM = true;
    }
    return m_nodeTM;
}

Matrix3 INode::GetParentTM(TimeValue t) const {
    return m_parent ? m_parent->NodeTM(t) : Matrix3();
}

namespace {

Matrix3 PlacementMatrix(const tarvo::scene::Placement& p) {
    return ScaleMatrix(p.scale) * RotateMatrix(p.rotation) * TransMatrix(p.position);
}

}  // namespace

Matrix3 INode::GetObjectTM(TimeValue t, Interval* valid) const {
    if (IsRootNode()) return GetNodeTM(t, valid);
    return PlacementMatrix(m_scene->NodeRecord(m_index).objectOffset) * GetNodeTM(t, valid);
}

Matrix3 INode::GetObjTMBeforeWSM(TimeValue t, Interval* valid) const {
    return GetObjectTM(t, valid);
}

Matrix3 INode::GetObjTMAfterWSM(TimeValue t, Interval* valid) const {
    return GetObjectTM(t, valid);
}

Point3 INode::GetObjOffsetPos() const {
    return IsRootNode() ? Point3() : m_scene->NodeRecord(m_index).objectOffset.position;
}

Quat INode::GetObjOffsetRot() const {
    return IsRootNode() ? Quat() : m_scene->NodeRecord(m_index).objectOffset.rotation;
}

Point3 INode::GetObjOffsetScale() const {
    return IsRootNode() ? Point3(1.0f, 1.0f, 1.0f)
                        : m_scene->NodeRecord(m_index).objectOffset.scale;
}
