// tarvo-x-export with the exporter plug-in as the build lays them out: the program finds the
// plug-in in its default plug-in directory and exports the example scene.
#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <string>

#include "platform/d3dx/XImage.h"
#include "tests/host/ProgramRunner.h"

namespace fs = std::filesystem;
using namespace tarvo;

namespace {

const std::string kExample = std::string(TARVO_SOURCE_DIR) + "/examples/sample.tscene.json";

struct TempDir {
    TempDir()
        : path(fs::temp_directory_path() / ("tarvo-host-plugin-" + std::to_string(getpid()))) {
        fs::remove_all(path);
        fs::create_directories(path);
    }
    ~TempDir() { fs::remove_all(path); }
    fs::path path;
};

bool HasTopLevelFrame(const xfile::XFileContents& contents, const std::string& name) {
    for (const auto& object : contents.objects)
        if (object.templateName == "Frame" && object.name == name) return true;
    return false;
}

}  // namespace

TEST(HostWithExporterPlugin, ExportsTheExampleSceneThroughTheDefaultPluginDirectory) {
    TempDir dir;
    const fs::path output = dir.path / "sample.x";
    const fs::path plugcfg = dir.path / "config";
    subprocess::ProgramResult r = subprocess::RunProgram(
        {TARVO_X_EXPORT, "--plugcfg", plugcfg.string(), kExample, output.string()});
    ASSERT_EQ(r.exitCode, 0) << r.err;
    EXPECT_EQ(r.err, "");

    xfile::XFileContents contents;
    xfile::XReadError error;
    ASSERT_EQ(xfile::ReadXFile(output.string(), xfile::StandardTemplates(), contents, &error), S_OK)
        << error.message;
    EXPECT_TRUE(HasTopLevelFrame(contents, "Base"));
    // The exporter keeps its settings in the configuration directory the host names.
    EXPECT_TRUE(fs::exists(plugcfg / "TarvoDXExport.xml"));
}
