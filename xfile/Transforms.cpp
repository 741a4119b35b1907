#include <cstring>

#include "plugin/Exporter.h"
#include "xfile/XFile.h"

namespace {

Matrix3 QuatMatrix(const Quat& q) {
    Matrix3 m;
    q.MakeMatrix(m, false);
    return m;
}

// The rotation seen in the mirror that exchanges y and z.
Quat MirroredYZ(const Quat& q) {
    return Quat(q.x, q.z, q.y, -q.w);
}

}  // namespace

void FlipMatrixYZ(const TarvoDirectXMaxExporter& exporter, Matrix3& matrix) {
    if (exporter.options.leftHanded != 1) return;
    AffineParts parts;
    decomp_affine(matrix, &parts);
    // The parts with y and z exchanged; each rotation, the stretch rotation too, turns the
    // other way about its mirrored axis. The stretch rotation is not always the identity:
    // with two equal stretch factors the decomposition may turn the pair's axes, and leaving
    // it unmirrored would stretch the wrong axis.
    Point3 t(parts.t.x, parts.t.z, parts.t.y);
    Point3 k(parts.k.x, parts.k.z, parts.k.y);
    Matrix3 T(1);
    T.SetTrans(t);
    Matrix3 U = QuatMatrix(MirroredYZ(parts.u));
    matrix = Inverse(U) * ScaleMatrix(k) * U * QuatMatrix(MirroredYZ(parts.q)) *
             ScaleMatrix(Point3(parts.f, parts.f, parts.f)) * T;
}

bool SameBits(const Matrix3& a, const Matrix3& b) {
    return std::memcmp(a.m, b.m, sizeof a.m) == 0;
}

Matrix3 PlacementInFrame(const TarvoDirectXMaxExporter& exporter, INode* node, INode* frameParent,
                         TimeValue time) {
    if (exporter.options.frameSetting == kFrameSettingTopFrameOnly)
        return node->GetObjTMAfterWSM(time);
    Matrix3 placement = node->GetNodeTM(time);
    if (node->IsRootNode()) return placement;
    // The frame it is written under is not always its parent's: a camera or an unselected
    // parent makes no frame.
    if (frameParent == nullptr) frameParent = exporter.hostInterface->GetRootNode();
    Matrix3 parentPlacement = frameParent->GetNodeTM(time);
    return SameBits(placement, parentPlacement) ? Matrix3(1) : placement * Inverse(parentPlacement);
}

void MatrixToXFile(const Matrix3& matrix, float out[16]) {
    for (int row = 0; row < 4; ++row) {
        for (int column = 0; column < 3; ++column) out[row * 4 + column] = matrix.m[row][column];
        out[row * 4 + 3] = row == 3 ? 1.0f : 0.0f;
    }
}
