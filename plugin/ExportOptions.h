// The user's export choices and the animation segments they name. Plain records: the
// exporter holds one ExportOptions by value, the settings code fills it, the option pages
// edit it and every writer reads it.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

class IGameNode;

// One node that takes part in the animation sets, appended to every segment by the node
// walk and read by the animation writer.
struct SegmentNode {
    std::string nodeName;              // the IGame node's name
    IGameNode* node = nullptr;         // owned by the host
    std::int32_t openClosed = 0;       // aniOpenClosed when the node was registered
    std::int32_t positionQuality = 0;  // aniPositionQuality when the node was registered

    bool operator==(const SegmentNode&) const = default;
};

// A named stretch of the timeline that becomes one animation set. Times are host ticks.
struct AnimSegment {
    std::string name;
    std::int32_t start = 0;
    std::int32_t end = 0;
    std::vector<SegmentNode> nodes;  // filled by the walk of the current export only

    bool operator==(const AnimSegment&) const = default;
};

// The values of the option fields that are not flags, by field. Flags hold 0 or 1.

// xFileType
constexpr std::int32_t kXFileText = 0;
constexpr std::int32_t kXFileBinary = 1;
constexpr std::int32_t kXFileCompressed = 2;  // binary with compression
// frameSetting
constexpr std::int32_t kFrameSettingNoFrames = 0;  // meshes at the top level, no frames
constexpr std::int32_t kFrameSettingTopFrameOnly =
    1;  // one frame per node, side by side, world placement
constexpr std::int32_t kFrameSettingSubFrames = 2;  // frames nested as the nodes are
// optMesh: how equal vertices are shared
constexpr std::int32_t kOptMeshNone = 0;
constexpr std::int32_t kOptMeshNormal = 1;
constexpr std::int32_t kOptMeshOptimized = 2;
// aniComponents
constexpr std::int32_t kAniMatrixKeys = 0;
constexpr std::int32_t kAniSeparateKeys = 1;  // position, scale and rotation keys
// aniOpenClosed
constexpr std::int32_t kAniClosed = 0;
constexpr std::int32_t kAniOpen = 1;
// aniPositionQuality
constexpr std::int32_t kAniSplinePositions = 0;
constexpr std::int32_t kAniLinearPositions = 1;
// timeLine
constexpr std::int32_t kTimeLineTicks = 0;
constexpr std::int32_t kTimeLineKeySequence = 1;
// textureFormat: an index into TextureFormatTable
constexpr std::int32_t kTextureFormatBmp = 0;
constexpr std::int32_t kTextureFormatJpg = 1;
constexpr std::int32_t kTextureFormatPng = 2;
constexpr std::int32_t kTextureFormatTga = 3;
// texMapConv
constexpr std::int32_t kTexMapNone = 0;
constexpr std::int32_t kTexMapConvert = 1;
constexpr std::int32_t kTexMapCopy = 2;
// keyFrameStep: samples per second
constexpr std::int32_t kDefaultKeyFrameStep = 30;

// Every field is a signed 32-bit value; a flag holds 0 or 1. The initial values below are
// what a new exporter holds before any settings are loaded.
struct ExportOptions {
    // X file
    std::int32_t xFileType = kXFileText;
    std::int32_t leftHanded = 1;
    std::int32_t localObjectSpace = 0;
    std::int32_t frameSetting = kFrameSettingSubFrames;

    // Mesh
    std::int32_t exportMesh = 1;
    std::int32_t meshAnim = 0;
    std::int32_t normals = 1;
    std::int32_t flipNormals = 0;
    std::int32_t customNormals = 0;
    std::int32_t textureCoords = 1;
    std::int32_t vertexColors = 1;
    std::int32_t optMesh = kOptMeshNormal;
    std::int32_t skinning = 0;

    // Host object kinds
    std::int32_t exportGeom = 1;
    std::int32_t exportHelper = 1;  // stored and loaded; helpers follow exportDummy
    std::int32_t exportDummy = 1;

    // Animation
    std::int32_t exportAnimation = 1;
    std::int32_t keyFrameStep = kDefaultKeyFrameStep;  // at least 1
    std::int32_t aniComponents = kAniMatrixKeys;
    std::int32_t aniOptions = 0;
    std::int32_t aniOpenClosed = kAniClosed;
    std::int32_t aniPositionQuality = kAniSplinePositions;
    std::int32_t timeLine = kTimeLineTicks;
    std::int32_t aniKeyframeOnly = 0;   // 0 sampled, 1 key frames only
    std::vector<AnimSegment> segments;  // in the order added; the index is the identity

    // Materials and textures
    std::int32_t exportMaterials = 1;
    std::int32_t inlineMaterials = 0;
    std::int32_t textureFormat = kTextureFormatBmp;
    std::int32_t texMapConv = kTexMapConvert;
    std::int32_t texFullPath = 0;
    std::int32_t texScale = 0;
    std::int32_t overwriteTex = 0;  // 0 do not overwrite, 1 always overwrite
    std::int32_t whiteTex = 1;
    std::int32_t fxFiles = 1;
    std::int32_t getFxParams = 1;

    // Exporter
    std::int32_t saveSettingsInScene = 0;

    // Values that only the old binary settings file carries, kept so that loading such a
    // file and saving the XML file leaves them as they were. No export step reads them.
    std::int32_t animCameraLight = 0;
    std::int32_t legacyFlagA = 0;
    std::int32_t legacyObjectB = 1;
    std::int32_t legacyObjectC = 1;
    std::int32_t legacyObjectD = 1;
    std::int32_t legacyFlagE = 0;
    std::int32_t legacyCount = 5;
    std::int32_t legacyByte = 0;  // has no meaning until the old file sets it

    bool operator==(const ExportOptions&) const = default;
};
