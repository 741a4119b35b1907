// tarvo-x-export with the exporter plug-in: a signal in the middle of a real export, and the
// exporter's settings file written through a symlink.
#include <gtest/gtest.h>
#include <unistd.h>

#include <csignal>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "host/scene/SceneFile.h"
#include "tests/host/ProgramRunner.h"
#include "tests/support/TempDir.h"
#include "tests/support/TestFiles.h"

namespace fs = std::filesystem;
using namespace tarvo;
using testsupport::ReadText;

namespace {

// Enough nodes that the walk is far from its end when the first node is announced: the
// signal is then seen at one of the many nodes after it. Small meshes keep the scene file,
// which is read before the walk, quick to load.
constexpr int kMeshNodes = 3000;
constexpr int kGridCells = 2;  // per side of each node's grid mesh

scene::MeshData GridMesh() {
    scene::MeshData mesh;
    constexpr int side = kGridCells + 1;
    for (int y = 0; y < side; ++y)
        for (int x = 0; x < side; ++x)
            mesh.vertices.push_back(Point3(static_cast<float>(x), static_cast<float>(y),
                                           static_cast<float>((x * y) % 5)));
    for (int y = 0; y < kGridCells; ++y) {
        for (int x = 0; x < kGridCells; ++x) {
            const auto corner = static_cast<std::uint32_t>(y * side + x);
            scene::FaceData lower;
            lower.v[0] = corner;
            lower.v[1] = corner + 1;
            lower.v[2] = corner + side + 1;
            lower.smGroup = 1;
            scene::FaceData upper = lower;
            upper.v[1] = corner + side + 1;
            upper.v[2] = corner + side;
            mesh.faces.push_back(lower);
            mesh.faces.push_back(upper);
        }
    }
    return mesh;
}

scene::SceneData ManyMeshes() {
    scene::SceneData data;
    const scene::MeshData grid = GridMesh();
    for (int i = 0; i < kMeshNodes; ++i) {
        scene::NodeData node;
        node.name = "Grid" + std::to_string(i);
        node.object = scene::ObjectKind::Mesh;
        node.mesh = grid;
        node.transform.position = Point3(static_cast<float>(i * kGridCells), 0.0f, 0.0f);
        data.nodes.push_back(node);
    }
    return data;
}

// Reads the child's standard error from a pipe, so that the test can act on a line as soon
// as it is written and the child never waits on a full pipe.
class ErrorPipe {
  public:
    ErrorPipe() {
        if (::pipe(m_ends) != 0) throw std::runtime_error("no pipe");
    }
    ~ErrorPipe() {
        CloseWriteEnd();
        ::close(m_ends[0]);
    }
    ErrorPipe(const ErrorPipe&) = delete;
    ErrorPipe& operator=(const ErrorPipe&) = delete;

    int WriteEnd() const { return m_ends[1]; }
    // The child holds its own copy; without closing ours the end of the text never comes.
    void CloseWriteEnd() {
        if (m_ends[1] >= 0) ::close(m_ends[1]);
        m_ends[1] = -1;
    }
    // Reads until `text` has come (true) or the child has closed the pipe (false).
    bool ReadUntil(const std::string& text) {
        while (m_text.find(text) == std::string::npos)
            if (!ReadSome()) return false;
        return true;
    }
    const std::string& ReadToEnd() {
        while (ReadSome()) {
        }
        return m_text;
    }

  private:
    bool ReadSome() {
        char buffer[4096];
        ssize_t got = 0;
        do {
            got = ::read(m_ends[0], buffer, sizeof buffer);
        } while (got < 0 && errno == EINTR);
        if (got <= 0) return false;
        m_text.append(buffer, static_cast<std::size_t>(got));
        return true;
    }

    int m_ends[2] = {-1, -1};
    std::string m_text;
};

std::string LastLine(const std::string& text) {
    const std::size_t end = text.empty() || text.back() != '\n' ? text.size() : text.size() - 1;
    const std::size_t start = text.rfind('\n', end == 0 ? 0 : end - 1);
    return text.substr(start == std::string::npos ? 0 : start + 1, end - (start + 1));
}

std::vector<std::string> Entries(const fs::path& directory) {
    std::vector<std::string> names;
    for (const auto& entry : fs::directory_iterator(directory))
        names.push_back(entry.path().filename().string());
    return names;
}

class HostPluginCancel : public ::testing::Test {
  protected:
    void SetUp() override {
        fs::create_directories(outDir);
        scenefile::SaveSceneFile(ManyMeshes(), scene);
    }

    testsupport::TempDir m_temp{"tarvo-plugin-cancel"};
    const fs::path dir = m_temp.Path();
    const fs::path outDir = dir / "out";
    const std::string scene = (dir / "grids.tscene.json").string();
    const std::string output = (outDir / "grids.x").string();
    const std::string plugcfg = (dir / "config").string();
};

}  // namespace

TEST_F(HostPluginCancel, CtrlCInTheMiddleOfTheWalkLeavesThePreviousFile) {
    std::ofstream(output) << "xof 0303txt 0032\n// the previous export\n";
    const std::string before = ReadText(output);
    ErrorPipe errors;
    subprocess::ChildProgram child({TARVO_X_EXPORT, "--debug", "--plugcfg", plugcfg, scene, output},
                                   {}, errors.WriteEnd());
    errors.CloseWriteEnd();
    ASSERT_TRUE(errors.ReadUntil("GameInterface Node: 0, Name: Grid0\n"));
    ASSERT_EQ(kill(child.Pid(), SIGINT), 0);
    const std::string err = errors.ReadToEnd();
    subprocess::ProgramResult r = child.Wait();
    EXPECT_EQ(r.exitCode, 130) << LastLine(err);
    EXPECT_EQ(LastLine(err), "tarvo-x-export: cancelled; " + output + " was not changed");
    // The walk stopped early: the last node is never reached.
    EXPECT_EQ(err.find("Name: Grid" + std::to_string(kMeshNodes - 1) + " "), std::string::npos);
    EXPECT_EQ(ReadText(output), before);
    EXPECT_EQ(Entries(outDir), std::vector<std::string>{"grids.x"});
}

TEST_F(HostPluginCancel, SceneOfThisSizeExportsWhenNotCancelled) {
    // The test above relies on the export being under way for a while; this one shows that
    // it does run to its end.
    subprocess::ProgramResult r =
        subprocess::RunProgram({TARVO_X_EXPORT, "--plugcfg", plugcfg, scene, output});
    ASSERT_EQ(r.exitCode, 0) << r.err;
    EXPECT_EQ(r.err, "");
    EXPECT_EQ(ReadText(output).rfind("xof 0303", 0), 0u);
    EXPECT_EQ(Entries(outDir), std::vector<std::string>{"grids.x"});
}

TEST(HostWithExporterPlugin, SettingsFileIsWrittenThroughASymlink) {
    testsupport::TempDir dir("tarvo-plugin-settings");
    const fs::path plugcfg = dir.Path() / "config";
    const fs::path kept = dir.Path() / "dotfiles" / "TarvoDXExport.xml";
    fs::create_directories(plugcfg);
    fs::create_directories(kept.parent_path());
    fs::create_symlink(kept, plugcfg / "TarvoDXExport.xml");
    const std::string example = std::string(TARVO_SOURCE_DIR) + "/examples/sample.tscene.json";
    subprocess::ProgramResult r = subprocess::RunProgram(
        {TARVO_X_EXPORT, "--plugcfg", plugcfg.string(), example, (dir.Path() / "s.x").string()});
    ASSERT_EQ(r.exitCode, 0) << r.err;
    EXPECT_TRUE(fs::is_symlink(plugcfg / "TarvoDXExport.xml"));
    EXPECT_EQ(ReadText(kept).rfind("<?xml", 0), 0u) << ReadText(kept);
    EXPECT_EQ(Entries(kept.parent_path()), std::vector<std::string>{"TarvoDXExport.xml"});
}
