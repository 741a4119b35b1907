// The ids of the dialog templates, their controls and the bitmap that the option pages and
// the segment dialog use. A control id is unique within its template only: 1040 is a
// different box on four pages.
#pragma once

namespace tarvo::ui {

// Templates, in the order the sheet shows the pages, then the dialogs.
constexpr int IDD_OBJECTS_PAGE = 101;
constexpr int IDD_MESH_PAGE = 119;
constexpr int IDD_ANIMATION_PAGE = 105;
constexpr int IDD_TEXTURES_PAGE = 106;
constexpr int IDD_XFILE_PAGE = 104;
constexpr int IDD_ABOUT = 102;  // the About page and the About box
constexpr int IDD_SEGMENT = 108;

constexpr int IDB_BANNER = 114;

// Buttons every dialog understands.
constexpr int IDC_OK = 1;
constexpr int IDC_CANCEL = 2;

namespace objects {
constexpr int kMeshDefinition = 1007;
constexpr int kMaterials = 1004;
constexpr int kInline = 1028;
constexpr int kAnimation = 1003;
constexpr int kBones = 1041;
constexpr int kGeometric = 1009;
constexpr int kDummy = 1042;
constexpr int kSaveInScene = 1040;
constexpr int kAnimatedMesh = 1005;         // hidden
constexpr int kAnimatedCameraLight = 1013;  // hidden
}  // namespace objects

namespace mesh {
constexpr int kNormals = 1006;
constexpr int kFlipNormals = 1024;
constexpr int kCustomNormals = 1040;
constexpr int kMappingCoords = 1008;
constexpr int kVertexColors = 1020;
constexpr int kLocalObjectSpace = 1029;
constexpr int kOptimize = 1065;
}  // namespace mesh

namespace animation {
constexpr int kSegments = 1058;
constexpr int kAdd = 1054;
constexpr int kEdit = 1055;
constexpr int kDelete = 1057;
constexpr int kSampled = 1070;
constexpr int kKeyFramesOnly = 1071;
constexpr int kMatrix = 1030;
constexpr int kSeparateKeys = 1031;
constexpr int kTicks = 1047;
constexpr int kKeySequence = 1048;
constexpr int kSamplingRate = 1011;
constexpr int kKeys = 1045;
constexpr int kLength = 1046;
}  // namespace animation

namespace textures {
constexpr int kNoConversion = 1049;
constexpr int kConvert = 1050;
constexpr int kCopy = 1051;
constexpr int kFormat = 1032;
constexpr int kFullPath = 1043;
constexpr int kScale = 1044;
constexpr int kWhiteDiffuse = 1067;
constexpr int kOverwrite = 1053;
constexpr int kFxFile = 1040;
constexpr int kFxParameters = 1066;
}  // namespace textures

namespace xfile {
constexpr int kText = 1014;
constexpr int kBinary = 1015;
constexpr int kCompressed = 1016;
constexpr int kNoFrames = 1021;
constexpr int kTopFrameOnly = 1022;
constexpr int kSubFrames = 1023;
constexpr int kLeftHanded = 1040;
constexpr int kAnimationOptions = 1034;
constexpr int kOpenClosed = 1037;
constexpr int kPositionQuality = 1038;
}  // namespace xfile

namespace about {
constexpr int kMaxVersion = 1039;
constexpr int kIGameVersion = 1068;
constexpr int kCfgPath = 1069;
}  // namespace about

namespace segment {
constexpr int kName = 1059;
constexpr int kStart = 1060;
constexpr int kFinish = 1061;
constexpr int kStartSpin = 1062;
constexpr int kFinishSpin = 1063;
}  // namespace segment

}  // namespace tarvo::ui
