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
    if (IsRootNode()) return Matrix3();
    // A node that sits exactly on its parent takes the parent's transform as it is; callers
    // compare the two bit for bit.
    Matrix3 local = LocalTM(t);
    Matrix3 parent = m_parent->GetNodeTM(t);
    return local.IsIdentity() ? parent : local * parent;
}

Matrix3 INode::GetParentTM(TimeValue t) const {
    return m_parent ? m_parent->GetNodeTM(t) : Matrix3();
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
