// The plug-in module as the host loads it: it does not bring Qt with it, an export without
// prompts never loads the dialog library, and the first dialog asked for loads it from
// beside the module.
#include <dlfcn.h>
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <memory>
#include <string>

#include "host/scene/SceneFile.h"
#include "platform/max/HostScene.h"
#include "platform/max/Plugin.h"
#include "tests/support/TempDir.h"

namespace {

const std::string kExample = std::string(TARVO_SOURCE_DIR) + "/examples/sample.tscene.json";

// Whether a library whose path contains `name` is mapped into this process.
bool Mapped(const std::string& name) {
    std::ifstream maps("/proc/self/maps");
    std::string line;
    while (std::getline(maps, line))
        if (line.find(name) != std::string::npos) return true;
    return false;
}

struct ExporterDeleter {
    void operator()(SceneExport* exporter) const { delete exporter; }
};

class PluginModuleTest : public ::testing::Test {
  protected:
    void SetUp() override {
        unsetenv("DISPLAY");
        unsetenv("WAYLAND_DISPLAY");
        unsetenv("QT_QPA_PLATFORM");
        ASSERT_FALSE(Mapped("libQt6")) << "the test program itself must not load Qt";
        m_module = dlopen(TARVO_PLUGIN_MODULE, RTLD_NOW | RTLD_LOCAL);
        ASSERT_NE(m_module, nullptr) << dlerror();
        auto classDesc = reinterpret_cast<LibClassDescFn>(dlsym(m_module, "LibClassDesc"));
        ASSERT_NE(classDesc, nullptr);
        m_exporter.reset(static_cast<SceneExport*>(classDesc(0)->Create(FALSE)));
        m_scene = std::make_unique<HostScene>(tarvo::scenefile::LoadSceneFile(kExample));
        m_host = std::make_unique<Interface>(m_scene.get());
        m_host->SetPlugCfgDir(m_dir.File(""));
    }

    int Export(const std::string& name, BOOL suppressPrompts) {
        return m_exporter->DoExport(m_dir.File(name).c_str(), nullptr, m_host.get(),
                                    suppressPrompts, 0);
    }

    tarvo::testsupport::TempDir m_dir{"tarvo-ui-module"};
    void* m_module = nullptr;  // stays loaded: the dialog library it loads points into it
    std::unique_ptr<SceneExport, ExporterDeleter> m_exporter;
    std::unique_ptr<HostScene> m_scene;
    std::unique_ptr<Interface> m_host;
};

TEST_F(PluginModuleTest, AnExportWithoutPromptsLoadsNoQt) {
    EXPECT_FALSE(Mapped("libQt6"));
    EXPECT_FALSE(Mapped("TarvoDirectXDialogs"));
    EXPECT_EQ(Export("quiet.x", TRUE), 1);
    EXPECT_TRUE(std::filesystem::exists(m_dir.File("quiet.x")));
    EXPECT_FALSE(Mapped("libQt6"));
    EXPECT_FALSE(Mapped("TarvoDirectXDialogs"));
}

TEST_F(PluginModuleTest, TheFirstDialogLoadsTheDialogLibraryBesideTheModule) {
    // No display: the About box cannot be shown, but the library is found and loaded.
    m_exporter->ShowAbout(nullptr);
    const std::string beside = (std::filesystem::path(TARVO_PLUGIN_MODULE).parent_path() /
                                "tarvo-dx" / "TarvoDirectXDialogs.so")
                                   .string();
    EXPECT_TRUE(Mapped(beside));
    EXPECT_TRUE(Mapped("libQt6Widgets"));
    // A prompted export whose sheet cannot be shown fails and writes nothing.
    EXPECT_EQ(Export("prompted.x", FALSE), 0);
    EXPECT_FALSE(std::filesystem::exists(m_dir.File("prompted.x")));
}

}  // namespace
