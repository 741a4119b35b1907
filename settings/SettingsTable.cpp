#include "settings/SettingsTable.h"

#include <array>

namespace {

constexpr SettingKey Flag(std::string_view group, std::string_view attribute,
                          std::int32_t ExportOptions::*field, std::int32_t readDefault) {
    return {group, attribute, field, SettingForm::Flag, 0, 1, readDefault};
}

constexpr SettingKey Number(std::string_view group, std::string_view attribute,
                            std::int32_t ExportOptions::*field, std::int32_t minimum,
                            std::int32_t maximum, std::int32_t readDefault) {
    return {group, attribute, field, SettingForm::Number, minimum, maximum, readDefault};
}

constexpr std::string_view kXFile = "x-file-settings";
constexpr std::string_view kMesh = "mesh-settings";
constexpr std::string_view kObjects = "max-objects";
constexpr std::string_view kMaterial = "material-settings";
constexpr std::string_view kExporter = "exporter-settings";

// The read defaults of "local-object-space", "skinning" and "helper" differ from a new
// record's values; they are what earlier releases used, so files they wrote keep meaning
// the same. texMapConv has three values but has always been stored as a flag.
constexpr std::array kTable{
    Number(kXFile, "x-file-type", &ExportOptions::xFileType, kXFileText, kXFileCompressed,
           kXFileText),
    Flag(kXFile, "left-handed", &ExportOptions::leftHanded, 1),
    Flag(kXFile, "local-object-space", &ExportOptions::localObjectSpace, 1),
    Number(kXFile, "frame-setting", &ExportOptions::frameSetting, kFrameSettingNoFrames,
           kFrameSettingSubFrames, kFrameSettingSubFrames),

    Flag(kMesh, "mesh", &ExportOptions::exportMesh, 1),
    Flag(kMesh, "mesh-anim", &ExportOptions::meshAnim, 0),
    Flag(kMesh, "normals", &ExportOptions::normals, 1),
    Flag(kMesh, "flip-normals", &ExportOptions::flipNormals, 0),
    Flag(kMesh, "custom-normals", &ExportOptions::customNormals, 0),
    Flag(kMesh, "texture-coords", &ExportOptions::textureCoords, 1),
    Flag(kMesh, "vertex-colors", &ExportOptions::vertexColors, 1),
    Number(kMesh, "opt-mesh", &ExportOptions::optMesh, kOptMeshNone, kOptMeshOptimized,
           kOptMeshNormal),
    Flag(kMesh, "skinning", &ExportOptions::skinning, 1),

    Flag(kObjects, "geom", &ExportOptions::exportGeom, 1),
    Flag(kObjects, "helper", &ExportOptions::exportHelper, 0),
    Flag(kObjects, "dummy", &ExportOptions::exportDummy, 1),

    Flag(kAnimationGroup, "animation", &ExportOptions::exportAnimation, 1),
    Number(kAnimationGroup, "key-frame-step", &ExportOptions::keyFrameStep, 1, 9999999,
           kDefaultKeyFrameStep),
    Flag(kAnimationGroup, "ani-components", &ExportOptions::aniComponents, 0),
    Flag(kAnimationGroup, "ani-options", &ExportOptions::aniOptions, 0),
    Flag(kAnimationGroup, "ani-open-closed", &ExportOptions::aniOpenClosed, 0),
    Flag(kAnimationGroup, "ani-position-quality", &ExportOptions::aniPositionQuality, 0),
    Flag(kAnimationGroup, "time-line", &ExportOptions::timeLine, 0),
    Flag(kAnimationGroup, "ani-keyframeonly", &ExportOptions::aniKeyframeOnly, 0),

    Flag(kMaterial, "material", &ExportOptions::exportMaterials, 1),
    Flag(kMaterial, "inline", &ExportOptions::inlineMaterials, 0),
    Number(kMaterial, "texture-format", &ExportOptions::textureFormat, kTextureFormatBmp,
           kTextureFormatTga, kTextureFormatBmp),
    Flag(kMaterial, "tex-map-conv", &ExportOptions::texMapConv, 1),
    Flag(kMaterial, "tex-full-path", &ExportOptions::texFullPath, 0),
    Flag(kMaterial, "tex-scale", &ExportOptions::texScale, 0),
    Flag(kMaterial, "overwrite-tex", &ExportOptions::overwriteTex, 0),
    Flag(kMaterial, "white-tex", &ExportOptions::whiteTex, 1),
    Flag(kMaterial, "fx-files", &ExportOptions::fxFiles, 1),
    Flag(kMaterial, "get-fx-params", &ExportOptions::getFxParams, 1),

    Flag(kExporter, "save-settings-inscene", &ExportOptions::saveSettingsInScene, 0),
};

constexpr std::array<std::string_view, 6> kGroups{kXFile,          kMesh,     kObjects,
                                                  kAnimationGroup, kMaterial, kExporter};

}  // namespace

std::span<const SettingKey> SettingsTable() {
    return kTable;
}

std::span<const std::string_view> SettingGroups() {
    return kGroups;
}
