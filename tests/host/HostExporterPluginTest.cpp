// tarvo-x-export with the exporter plug-in as the build lays them out: the program finds the
// plug-in in its default plug-in directory and exports the example scene.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "platform/d3dx/XReader.h"
#include "tests/host/ProgramRunner.h"
#include "tests/support/TempDir.h"

namespace fs = std::filesystem;
using namespace tarvo;

namespace {

const std::string kExample = std::string(TARVO_SOURCE_DIR) + "/examples/sample.tscene.json";

bool HasTopLevelFrame(const d3dx::XFileContents& contents, const std::string& name) {
    for (const auto& object : contents.objects)
        if (object.templateName == "Frame" && object.name == name) return true;
    return false;
}

}  // namespace

TEST(HostWithExporterPlugin, ExportsTheExampleSceneThroughTheDefaultPluginDirectory) {
    testsupport::TempDir dir("tarvo-host-plugin");
    const fs::path output = dir.Path() / "sample.x";
    const fs::path plugcfg = dir.Path() / "config";
    subprocess::ProgramResult r = subprocess::RunProgram(
        {TARVO_X_EXPORT, "--plugcfg", plugcfg.string(), kExample, output.string()});
    ASSERT_EQ(r.exitCode, 0) << r.err;
    EXPECT_EQ(r.err, "");

    d3dx::XFileContents contents;
    d3dx::XReadError error;
    ASSERT_EQ(d3dx::ReadXFile(output.string(), d3dx::StandardTemplates(), contents, &error), S_OK)
        << error.message;
    EXPECT_TRUE(HasTopLevelFrame(contents, "Base"));
    // The exporter keeps its settings in the configuration directory the host names.
    EXPECT_TRUE(fs::exists(plugcfg / "TarvoDXExport.xml"));
}
