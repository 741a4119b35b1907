#include "platform/max/Node.h"

#include <algorithm>

#include "platform/max/HostScene.h"

int Animatable::GetKeyTimes(Tab<TimeValue>&, Interval, DWORD) {
    return 0;
}

Mesh& TriObject::GetMesh() {
    if (!m_mesh) m_mesh = BuildHostMesh(*m_source);
    return *m_mesh;
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

namespace {

// The identity: the root's node transform.
const Matrix3 kWorldTM;

// How many times an animated node keeps its transform for. Animation is sampled node by node,
// each node at every sample time, so a node's children ask for the same times right after
// it; forgetting all but the last would make a chain N deep recompose its ancestors N times
// per sample. The bound keeps the memory of a long timeline in check; past it the node
// starts over, which costs time but never changes a transform.
constexpr std::size_t kRememberedTimes = 1024;

}  // namespace

std::vector<INode::TimedTM>::iterator INode::TimedSlot(TimeValue t) const {
    return std::lower_bound(m_timedTMs.begin(), m_timedTMs.end(), t,
                            [](const TimedTM& entry, TimeValue time) { return entry.time < time; });
}

const Matrix3* INode::KnownNodeTM(TimeValue t) const {
    if (IsRootNode()) return &kWorldTM;
    if (!m_animatedChain) return m_hasNodeTM ? &m_nodeTM : nullptr;
    auto at = TimedSlot(t);
    return at != m_timedTMs.end() && at->time == t ? &at->tm : nullptr;
}

const Matrix3& INode::RememberNodeTM(TimeValue t, const Matrix3& tm) const {
    if (!m_animatedChain) {
        m_nodeTM = tm;
        m_hasNodeTM = true;
        return m_nodeTM;
    }
    if (m_timedTMs.size() >= kRememberedTimes) m_timedTMs.clear();
    // Samples come in rising time, so the new entry almost always goes last.
    return m_timedTMs.insert(TimedSlot(t), TimedTM{t, tm})->tm;
}

// The node transform is the product of the local transforms from the root down. Each node
// keeps what it was asked for (a static node its one transform, an animated one its transform
// at each time), so that a walk of the tree, or the sampling of one node after another,
// evaluates every local transform once per time rather than once per descendant. The
// transform is composed in a loop from the nearest ancestor that knows it at t, so a deep
// tree needs no deep recursion.
const Matrix3& INode::NodeTM(TimeValue t) const {
    if (const Matrix3* known = KnownNodeTM(t)) return *known;
    std::vector<const INode*> unknown;  // from this node up, each without its transform at t
    for (const INode* node = this; node != nullptr && !node->KnownNodeTM(t); node = node->m_parent)
        unknown.push_back(node);
    const Matrix3* tm = nullptr;
    for (auto it = unknown.rbegin(); it != unknown.rend(); ++it) {
        const INode& node = **it;
        const Matrix3& parent = node.m_parent ? *node.m_parent->KnownNodeTM(t) : kWorldTM;
        // A node that sits exactly on its parent takes the parent's transform as it is;
        // callers compare the two bit for bit.
        Matrix3 local = node.LocalTM(t);
        tm = &node.RememberNodeTM(t, local.IsIdentity() ? parent : local * parent);
    }
    return *tm;
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
