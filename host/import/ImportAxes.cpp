// Axes and placements: the source's axes turned to the host's z up, and source matrices as
// host placements.
#include <assimp/scene.h>

#include <cmath>

#include "host/import/ImportStages.h"

namespace tarvo::assimpimport {

namespace {

// A quaternion shorter than this holds no direction to turn in.
constexpr float kShortestRotation = 1e-6f;

// An axis of the source as its metadata names it: 0 x, 1 y, 2 z, and the direction.
struct SourceAxis {
    int axis = 0;
    int sign = 1;
};

// Where a scene says nothing, Assimp's own frame holds: x right, y up, z towards the viewer.
struct SourceAxes {
    SourceAxis right{0, 1};
    SourceAxis up{1, 1};
    SourceAxis front{2, 1};
};

int MetadataInt(const aiMetadata* metadata, const char* key, int fallback) {
    int value = fallback;
    if (metadata == nullptr || !metadata->Get(key, value)) return fallback;
    return value;
}

// FBX files name their axes ("UpAxis", "FrontAxis", "CoordAxis" with their signs), and
// Assimp leaves the data in them. Other readers hand out y up.
SourceAxes AxesOf(const aiScene& source) {
    const aiMetadata* metadata = source.mMetaData;
    SourceAxes axes;
    if (metadata == nullptr || !metadata->HasKey("UpAxis")) return axes;
    axes.up = {MetadataInt(metadata, "UpAxis", 1), MetadataInt(metadata, "UpAxisSign", 1)};
    axes.front = {MetadataInt(metadata, "FrontAxis", 2), MetadataInt(metadata, "FrontAxisSign", 1)};
    axes.right = {MetadataInt(metadata, "CoordAxis", 0), MetadataInt(metadata, "CoordAxisSign", 1)};
    const bool distinct = axes.up.axis != axes.front.axis && axes.up.axis != axes.right.axis &&
                          axes.front.axis != axes.right.axis;
    const bool inRange = axes.up.axis >= 0 && axes.up.axis <= 2 && axes.front.axis >= 0 &&
                         axes.front.axis <= 2 && axes.right.axis >= 0 && axes.right.axis <= 2;
    // Metadata that does not name three different axes cannot be trusted; y up is the rule.
    return distinct && inRange ? axes : SourceAxes{};
}

// Sets the row of the host axis `hostRow` to pick the source axis, with its direction.
void MapAxis(aiMatrix4x4& m, int hostRow, const SourceAxis& source, float direction) {
    const float value = (source.sign < 0 ? -1.0f : 1.0f) * direction;
    m[hostRow][0] = m[hostRow][1] = m[hostRow][2] = 0.0f;
    m[hostRow][source.axis] = value;
}

}  // namespace

aiMatrix4x4 AxisChangeToHost(const aiScene& source) {
    const SourceAxes axes = AxesOf(source);
    // The host's x is the source's right, its z the source's up, and its y points away from
    // the viewer, opposite the source's front: for y up this is +90 degrees about x.
    aiMatrix4x4 change;
    MapAxis(change, 0, axes.right, 1.0f);
    MapAxis(change, 1, axes.front, -1.0f);
    MapAxis(change, 2, axes.up, 1.0f);
    return change;
}

Quat HostRotation(const aiQuaternion& rotation) {
    // Assimp turns column vectors, the host row vectors: the same turn is the conjugate.
    return Quat(-rotation.x, -rotation.y, -rotation.z, rotation.w).Normalize();
}

scene::Placement PlacementOf(const aiMatrix4x4& matrix) {
    aiVector3D scaling;
    aiQuaternion rotation;
    aiVector3D position;
    matrix.Decompose(scaling, rotation, position);
    // A zero scale leaves no rotation to find; the host's own decomposition then keeps the
    // identity too.
    const float length = std::sqrt(rotation.x * rotation.x + rotation.y * rotation.y +
                                   rotation.z * rotation.z + rotation.w * rotation.w);
    if (!std::isfinite(length) || length < kShortestRotation) rotation = aiQuaternion();
    scene::Placement placement;
    placement.position = Point3(position.x, position.y, position.z);
    placement.rotation = HostRotation(rotation);
    placement.scale = Point3(scaling.x, scaling.y, scaling.z);
    return placement;
}

}  // namespace tarvo::assimpimport
