// tarvo-x-export on files of other programs: the run as a user sees it, and the .X file as a
// reader sees it.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <assimp/scene.h>
#include <assimp/Importer.hpp>

#include <fstream>

#include "tests/host/ProgramRunner.h"
#include "tests/import/ImportTestFiles.h"
#include "tests/support/TempDir.h"
#include "tests/support/TestFiles.h"

namespace {

using namespace tarvo;
namespace fs = std::filesystem;

constexpr float kTolerance = 1e-5f;

class ImportProgramTest : public ::testing::Test {
  protected:
    subprocess::ProgramResult Run(std::vector<std::string> arguments) {
        arguments.insert(arguments.begin(), {TARVO_X_EXPORT, "--plugcfg", m_dir.File("config")});
        return subprocess::RunProgram(arguments);
    }

    testsupport::TempDir m_dir{"tarvo-import-program"};
};

std::vector<aiVector3D> WorldVertices(const std::string& file) {
    Assimp::Importer importer;
    const aiScene* scene = importer.ReadFile(file, 0);
    EXPECT_NE(scene, nullptr) << file << ": " << importer.GetErrorString();
    std::vector<aiVector3D> out;
    if (scene == nullptr) return out;
    std::vector<std::pair<const aiNode*, aiMatrix4x4>> stack{{scene->mRootNode, aiMatrix4x4()}};
    while (!stack.empty()) {
        auto [node, parent] = stack.back();
        stack.pop_back();
        const aiMatrix4x4 world = parent * node->mTransformation;
        for (unsigned m = 0; m < node->mNumMeshes; ++m) {
            const aiMesh* mesh = scene->mMeshes[node->mMeshes[m]];
            for (unsigned v = 0; v < mesh->mNumVertices; ++v)
                out.push_back(world * mesh->mVertices[v]);
        }
        for (unsigned c = 0; c < node->mNumChildren; ++c)
            stack.push_back({node->mChildren[c], world});
    }
    return out;
}

bool Near(const aiVector3D& a, const aiVector3D& b) {
    return std::fabs(a.x - b.x) < kTolerance && std::fabs(a.y - b.y) < kTolerance &&
           std::fabs(a.z - b.z) < kTolerance;
}

TEST_F(ImportProgramTest, TheExportedColladaHierarchyIsWhereTheSourceWasForAReader) {
    const fs::path source = importtest::WriteColladaHierarchy(m_dir.Path());
    const std::string output = m_dir.File("tree.x");
    const subprocess::ProgramResult r = Run({source.string(), output});
    ASSERT_EQ(r.exitCode, 0) << r.err;
    EXPECT_EQ(r.err, "");
    // Both read by Assimp, both in its right-handed y-up frame.
    const std::vector<aiVector3D> expected = WorldVertices(source.string());
    const std::vector<aiVector3D> actual = WorldVertices(output);
    ASSERT_EQ(expected.size(), 9u);
    ASSERT_EQ(actual.size(), expected.size());
    std::vector<bool> used(actual.size(), false);
    for (const aiVector3D& e : expected) {
        bool found = false;
        for (std::size_t i = 0; i < actual.size() && !found; ++i)
            if (!used[i] && Near(actual[i], e)) used[i] = found = true;
        EXPECT_TRUE(found) << "no vertex read at (" << e.x << ", " << e.y << ", " << e.z << ")";
    }
}

TEST_F(ImportProgramTest, WhatCannotBeConvertedIsSaidOnOneLine) {
    const fs::path source = importtest::WriteGltf(m_dir.Path());
    const subprocess::ProgramResult r = Run({source.string(), m_dir.File("tri.x")});
    ASSERT_EQ(r.exitCode, 0) << r.err;
    EXPECT_EQ(r.err, "tarvo-x-export: not converted: 1 camera, 1 light, 3 points\n");
}

TEST_F(ImportProgramTest, AnEmbeddedImageIsWrittenBesideTheOutput) {
    const fs::path source = importtest::WriteGltf(m_dir.Path());
    fs::create_directory(m_dir.Path() / "out");
    const std::string output = (m_dir.Path() / "out" / "tri.x").string();
    const subprocess::ProgramResult r = Run({source.string(), output});
    ASSERT_EQ(r.exitCode, 0) << r.err;
    const fs::path image = m_dir.Path() / "out" / "tri_0.bmp";
    const std::vector<std::uint8_t> expected = importtest::TinyBmp();
    EXPECT_EQ(testsupport::ReadText(image), std::string(expected.begin(), expected.end()));
    // The .X file names it as its texture.
    EXPECT_NE(testsupport::ReadText(output).find("tri_0"), std::string::npos);
}

TEST_F(ImportProgramTest, AnEmbeddedImageIsNotWrittenOverADirectory) {
    const fs::path source = importtest::WriteGltf(m_dir.Path());
    fs::create_directory(m_dir.Path() / "tri_0.bmp");
    const subprocess::ProgramResult r = Run({source.string(), m_dir.File("tri.x")});
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_NE(r.err.find("tri_0.bmp"), std::string::npos) << r.err;
    EXPECT_FALSE(fs::exists(m_dir.Path() / "tri.x"));
}

TEST_F(ImportProgramTest, AnUnreadableFileFailsWithAssimpsReasonOnOneLine) {
    const std::string source = m_dir.File("broken.dae");
    std::ofstream(source) << "<COLLADA><library_geometries>";
    const subprocess::ProgramResult r = Run({source, m_dir.File("broken.x")});
    EXPECT_EQ(r.exitCode, 1);
    const std::string start = "tarvo-x-export: " + source + ": cannot be imported: ";
    EXPECT_TRUE(r.err.starts_with(start)) << r.err;
    EXPECT_GT(r.err.size(), start.size() + 2) << "no reason: " << r.err;
    EXPECT_EQ(r.err.find('\n'), r.err.size() - 1) << r.err;
    EXPECT_FALSE(fs::exists(m_dir.Path() / "broken.x"));
}

TEST_F(ImportProgramTest, AWrittenSceneExportsToTheSameBytes) {
    for (const fs::path& source :
         {importtest::WriteTwoMaterialObj(m_dir.Path()),
          importtest::WriteColladaHierarchy(m_dir.Path()), importtest::WriteGltf(m_dir.Path())}) {
        const std::string stem = source.stem().string();
        const std::string scene = m_dir.File(stem + ".tscene.json");
        const std::string first = m_dir.File(stem + "-imported.x");
        const std::string second = m_dir.File(stem + "-reloaded.x");
        subprocess::ProgramResult r = Run({source.string(), first, "--write-scene", scene});
        ASSERT_EQ(r.exitCode, 0) << stem << ": " << r.err;
        r = Run({scene, second});
        ASSERT_EQ(r.exitCode, 0) << stem << ": " << r.err;
        const std::string bytes = testsupport::ReadText(first);
        EXPECT_FALSE(bytes.empty()) << stem;
        EXPECT_EQ(bytes, testsupport::ReadText(second)) << stem;
    }
}

TEST_F(ImportProgramTest, WriteSceneTakesOnlyASceneFileName) {
    const fs::path source = importtest::WriteTwoMaterialObj(m_dir.Path());
    const subprocess::ProgramResult r =
        Run({source.string(), m_dir.File("two.x"), "--write-scene", m_dir.File("two.json")});
    EXPECT_EQ(r.exitCode, 2);
    EXPECT_NE(r.err.find(".tscene.json"), std::string::npos) << r.err;
    EXPECT_FALSE(fs::exists(m_dir.Path() / "two.json"));
}

TEST_F(ImportProgramTest, WriteSceneIsCheckedBeforeAnyWork) {
    const fs::path source = importtest::WriteTwoMaterialObj(m_dir.Path());
    fs::create_directory(m_dir.Path() / "dir.tscene.json");
    const subprocess::ProgramResult r =
        Run({source.string(), m_dir.File("two.x"), "--write-scene", m_dir.File("dir.tscene.json")});
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_TRUE(r.err.starts_with("tarvo-x-export: --write-scene: ")) << r.err;
    EXPECT_FALSE(fs::exists(m_dir.Path() / "two.x"));
}

TEST_F(ImportProgramTest, WriteSceneIsNotTheOutput) {
    const fs::path source = importtest::WriteTwoMaterialObj(m_dir.Path());
    const std::string both = m_dir.File("both.tscene.json");
    const subprocess::ProgramResult r = Run({source.string(), both, "--write-scene", both});
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_EQ(r.err, "tarvo-x-export: --write-scene: the scene file " + both +
                         " is the output file " + both + "\n");
    EXPECT_FALSE(fs::exists(both));
}

TEST_F(ImportProgramTest, TheHelpNamesTheImportOptions) {
    const subprocess::ProgramResult r = subprocess::RunProgram({TARVO_X_EXPORT, "--help"});
    ASSERT_EQ(r.exitCode, 0);
    EXPECT_NE(r.out.find("--write-scene"), std::string::npos);
    EXPECT_NE(r.out.find("--one-segment"), std::string::npos);
    EXPECT_NE(r.out.find("Assimp"), std::string::npos);
}

TEST_F(ImportProgramTest, SaveSceneIsRefusedForAnImportedFileBeforeAnyWork) {
    const fs::path source = importtest::WriteTwoMaterialObj(m_dir.Path());
    const std::string before = testsupport::ReadText(source);
    // The source is read-only: a write-target check would complain of that instead.
    fs::permissions(source, fs::perms::owner_write, fs::perm_options::remove);
    const subprocess::ProgramResult r = Run({source.string(), m_dir.File("two.x"), "--save-scene"});
    EXPECT_EQ(r.exitCode, 2);
    EXPECT_NE(r.err.find("--save-scene cannot write the scene back into " + source.string()),
              std::string::npos)
        << r.err;
    EXPECT_NE(r.err.find("--write-scene"), std::string::npos) << r.err;
    EXPECT_EQ(testsupport::ReadText(source), before);
    EXPECT_FALSE(fs::exists(m_dir.Path() / "two.x"));
}

}  // namespace
