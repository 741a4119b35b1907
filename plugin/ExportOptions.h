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

// Values of frameSetting.
constexpr std::int32_t kFrameSettingNoFrames = 0;  // meshes at the top level, no frames
constexpr std::int32_t kFrameSettingTopFrameOnly =
    1;  // one frame per node, side by side, world placement
constexpr std::int32_t kFrameSettingSubFrames = 2;  // frames nested as the nodes are

// Every field is a signed 32-bit value; a flag holds 0 or 1. The initial values below are
// what a new exporter holds before any settings are loaded.
struct ExportOptions {
    // X file
    std::int32_t xFileType = 0;  // 0 text, 1 binary, 2 binary with compression
    std::int32_t leftHanded = 1;
    std::int32_t localObjectSpace = 0;
    std::int32_t frameSetting = 2;  // 0 no frames, 1 top frame only, 2 sub frame hierarchy

    // Mesh
    std::int32_t exportMesh = 1;
    std::int32_t meshAnim = 0;
    std::int32_t normals = 1;
    std::int32_t flipNormals = 0;
    std::int32_t customNormals = 0;
    std::int32_t textureCoords = 1;
    std::int32_t vertexColors = 1;
    std::int32_t optMesh = 1;  // 0 none, 1 normal, 2 optimized
    std::int32_t skinning = 0;

    // Host object kinds
    std::int32_t exportGeom = 1;
    std::int32_t exportHelper = 1;  // stored and loaded; helpers follow exportDummy
    std::int32_t exportDummy = 1;

    // Animation
    std::int32_t exportAnimation = 1;
    std::int32_t keyFrameStep = 30;  // samples per second, at least 1
    std::int32_t aniComponents = 0;  // 0 matrix, 1 position, scale & rotate
    std::int32_t aniOptions = 0;
    std::int32_t aniOpenClosed = 0;       // 0 closed, 1 open
    std::int32_t aniPositionQuality = 0;  // 0 spline positions, 1 linear positions
    std::int32_t timeLine = 0;            // 0 host ticks, 1 key sequence
    std::int32_t aniKeyframeOnly = 0;     // 0 sampled, 1 key frames only
    std::vector<AnimSegment> segments;    // in the order added; the index is the identity

    // Materials and textures
    std::int32_t exportMaterials = 1;
    std::int32_t inlineMaterials = 0;
    std::int32_t textureFormat = 0;  // index into TextureFormatTable: bmp, jpg, png, tga
    std::int32_t texMapConv = 1;     // 0 none, 1 convert texture map, 2 copy texture map
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
