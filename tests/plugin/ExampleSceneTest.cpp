// The example scene, exported in each frame mode: golden dumps of the written tree, and
// Assimp reading the frames back. TARVO_UPDATE_GOLDENS=1 rewrites the golden dumps.
#include <gtest/gtest.h>

#include <assimp/scene.h>
#include <assimp/Importer.hpp>

#include <cstdlib>
#include <cstring>
#include <fstream>
#include <functional>
#include <sstream>

#include "../d3dx/XTestSupport.h"
#include "host/scene/SceneFile.h"
#include "platform/d3dx/XDump.h"
#include "platform/max/HostScene.h"
#include "plugin/Exporter.h"
#include "settings/Settings.h"
#include "tests/support/TestFiles.h"

namespace {

const std::string kExample = std::string(TARVO_SOURCE_DIR) + "/examples/sample.tscene.json";

// The dump with the checkout's folder written as "<source>": the host hands out the paths
// of the scene's files (a bitmap parameter's image) absolute, and the dumps hold anywhere.
std::string WithPortablePaths(std::string dump) {
    const std::string source = TARVO_SOURCE_DIR;
    for (std::size_t at = dump.find(source); at != std::string::npos;
         at = dump.find(source, at + 1))
        dump.replace(at, source.size(), "<source>");
    return dump;
}

class ExampleSceneTest : public ::testing::Test {
  protected:
    void SetUp() override {
        m_scene = std::make_unique<HostScene>(tarvo::scenefile::LoadSceneFile(kExample));
        m_host = std::make_unique<Interface>(m_scene.get());
        m_host->SetPlugCfgDir(m_dir.File(""));
    }

    // Exports with the given frame mode and file type; returns the file read back.
    d3dx::XFileContents Export(int frameSetting, int xFileType, const std::string& name) {
        ExportOptions options;
        options.frameSetting = frameSetting;
        options.xFileType = xFileType;
        EXPECT_TRUE(SaveSettings(options, *m_host));
        TarvoDirectXMaxExporter exporter;
        std::string path = m_dir.File(name);
        EXPECT_EQ(exporter.DoExport(path.c_str(), nullptr, m_host.get(), TRUE, 0), 1);
        m_lastPath = path;
        return xtest::ReadBack(path);
    }

    tarvo::testsupport::TempDir m_dir;
    std::unique_ptr<HostScene> m_scene;
    std::unique_ptr<Interface> m_host;
    std::string m_lastPath;
};

TEST_F(ExampleSceneTest, FrameTreeMatchesTheGoldenDumpInEachMode) {
    bool update = tarvo::testsupport::UpdateGoldens();
    for (int mode = 0; mode <= 2; ++mode) {
        std::string dump = WithPortablePaths(
            d3dx::DumpText(Export(mode, 0, "mode" + std::to_string(mode) + ".x")));
        std::string golden = std::string(TARVO_TEST_DATA_DIR) + "/plugin/example-frames-mode" +
                             std::to_string(mode) + ".txt";
        if (update) {
            std::ofstream(golden, std::ios::binary) << dump;
            continue;
        }
        EXPECT_EQ(dump, tarvo::testsupport::ReadText(golden))
            << "frame mode " << mode << "; rerun with TARVO_UPDATE_GOLDENS=1 "
            << "and read the diff if the change is meant";
    }
}

using Rows = std::vector<float>;

const d3dx::XDataObject* ChildOfTemplate(const d3dx::XDataObject& object,
                                         const char* templateName) {
    for (const auto& child : object.children) {
        if (!child.IsReference() && child.object->templateName == templateName)
            return child.object.get();
    }
    return nullptr;
}

Rows MatrixOf(const d3dx::XDataObject& frame) {
    Rows m(16);
    std::memcpy(m.data(), ChildOfTemplate(frame, "FrameTransformMatrix")->payload.data(), 64);
    return m;
}

// a x b for row-vector matrices: a applies first.
Rows Product(const Rows& a, const Rows& b) {
    Rows out(16, 0.0f);
    for (int i = 0; i < 4; ++i) {
        for (int j = 0; j < 4; ++j) {
            for (int k = 0; k < 4; ++k) out[i * 4 + j] += a[i * 4 + k] * b[k * 4 + j];
        }
    }
    return out;
}

// Every named frame of our file, with the 16 floats of the placement Assimp gives its node:
// Assimp folds an unnamed offset frame holding the mesh into the named frame above it.
void CollectFrames(const d3dx::XDataObject& object, std::map<std::string, Rows>& frames) {
    if (object.templateName != "Frame") return;
    if (!object.name.empty() && ChildOfTemplate(object, "FrameTransformMatrix") != nullptr) {
        Rows placement = MatrixOf(object);
        const d3dx::XDataObject* offset = ChildOfTemplate(object, "Frame");
        if (offset != nullptr && offset->name.empty() &&
            ChildOfTemplate(*offset, "Mesh") != nullptr) {
            placement = Product(MatrixOf(*offset), placement);
        }
        frames[object.name] = placement;
    }
    for (const auto& child : object.children) {
        if (!child.IsReference()) CollectFrames(*child.object, frames);
    }
}

const aiNode* FindNode(const aiNode* node, const std::string& name) {
    if (name == node->mName.C_Str()) return node;
    for (unsigned i = 0; i < node->mNumChildren; ++i) {
        if (const aiNode* found = FindNode(node->mChildren[i], name)) return found;
    }
    return nullptr;
}

TEST_F(ExampleSceneTest, AssimpReadsTheFramesWithTheirNamesAndMatrices) {
    const char* forms[] = {"text", "binary", "compressed"};
    for (int type = 0; type <= 2; ++type) {
        auto contents = Export(2, type, std::string(forms[type]) + ".x");
        std::map<std::string, Rows> frames;
        for (const auto& object : contents.objects) CollectFrames(object, frames);
        ASSERT_GE(frames.size(), 5u) << forms[type];

        Assimp::Importer importer;
        const aiScene* scene = importer.ReadFile(m_lastPath, 0);
        ASSERT_NE(scene, nullptr) << forms[type] << ": " << importer.GetErrorString();
        for (const auto& [name, rows] : frames) {
            const aiNode* node = FindNode(scene->mRootNode, name);
            ASSERT_NE(node, nullptr) << forms[type] << ": " << name;
            // Assimp keeps columns where .X keeps rows, and turns z around to make the
            // left-handed data right-handed.
            const float sign[4] = {1, 1, -1, 1};
            for (int i = 0; i < 4; ++i) {
                for (int j = 0; j < 4; ++j) {
                    EXPECT_NEAR(node->mTransformation[i][j], sign[i] * sign[j] * rows[j * 4 + i],
                                1e-5f)
                        << forms[type] << ": " << name << " [" << i << "][" << j << "]";
                }
            }
        }
    }
}

}  // namespace
