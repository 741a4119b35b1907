// The arm of ArmGltf.h imported as the host program imports it, with the export settings the
// import stored in the scene, for the skin and animation import tests.
#pragma once

#include <gtest/gtest.h>

#include <fstream>
#include <string>

#include "host/import/AssimpImport.h"
#include "platform/max/SceneData.h"
#include "plugin/ExportOptions.h"
#include "settings/Settings.h"
#include "tests/import/ArmGltf.h"
#include "tests/support/TempDir.h"

namespace tarvo::importtest {

inline constexpr const char* kSettingsProperty = "TarvoDXExportSettings";

struct ImportedArm {
    testsupport::TempDir dir{"tarvo-import-arm"};
    scene::SceneData scene;
    assimpimport::ImportReport report;

    explicit ImportedArm(bool oneSegment = false) {
        const std::string source = dir.File("arm.gltf");
        std::ofstream(source, std::ios::binary) << ArmGltfText();
        assimpimport::ImportOptions options;
        options.outputFile = dir.File("arm.x");
        options.oneSegment = oneSegment;
        scene = assimpimport::ImportScene(source, options, report);
        for (const auto& image : report.images)
            EXPECT_EQ(assimpimport::WriteEmbeddedImage(image), "");
    }

    int Node(const std::string& name) const {
        for (std::size_t i = 0; i < scene.nodes.size(); ++i)
            if (scene.nodes[i].name == name) return static_cast<int>(i);
        ADD_FAILURE() << "no node " << name;
        return -1;
    }
    const scene::NodeData& NodeNamed(const std::string& name) const {
        const int index = Node(name);
        if (index < 0) throw std::runtime_error("no node " + name);
        return scene.nodes[static_cast<std::size_t>(index)];
    }
};

// The settings text the import stored in the scene; empty when there is none.
inline std::string StoredSettings(const scene::SceneData& scene) {
    for (const auto& property : scene.fileProperties)
        if (property.named && property.name == kSettingsProperty) return property.text;
    return {};
}

// The options the exporter reads from the scene's stored settings.
inline ExportOptions StoredOptions(const scene::SceneData& scene) {
    ExportOptions options;
    const SceneTiming timing{scene.frameRate * scene.ticksPerFrame, scene.animStart, scene.animEnd};
    EXPECT_TRUE(ReadSettingsText(options, StoredSettings(scene), timing));
    return options;
}

}  // namespace tarvo::importtest
