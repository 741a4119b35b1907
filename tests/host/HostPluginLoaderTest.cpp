#include <dlfcn.h>
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <string>

#include "host/PluginLoader.h"
#include "tests/support/TempDir.h"

namespace fs = std::filesystem;
using namespace tarvo::hostapp;

namespace {

class HostPluginLoader : public ::testing::Test {
  protected:
    void Link(const char* module, const std::string& name) {
        fs::create_symlink(module, dir / name);
    }

    tarvo::testsupport::TempDir m_temp{"tarvo-loader"};
    const fs::path dir = m_temp.Path();
};

int NonExportCreateCalls(const PluginModule& module) {
    using Fn = int (*)();
    auto fn = reinterpret_cast<Fn>(dlsym(module.handle, "FakeNonExportCreateCalls"));
    return fn ? fn() : -1;
}

}  // namespace

TEST_F(HostPluginLoader, LoadsAModuleThroughItsEntryPoints) {
    PluginLoader loader;
    ASSERT_TRUE(loader.LoadModule(FAKE_EXPORTER_MODULE));
    ASSERT_EQ(loader.Modules().size(), 1u);
    const PluginModule& module = loader.Modules().front();
    EXPECT_EQ(module.description, "Fake exporter plug-in");
    EXPECT_EQ(module.version, VERSION_3DSMAX);
    ASSERT_EQ(module.classes.size(), 2u);
    EXPECT_EQ(module.classes[0]->SuperClassID(), MATERIAL_CLASS_ID);
    EXPECT_EQ(module.classes[1]->SuperClassID(), SCENE_EXPORT_CLASS_ID);
    EXPECT_TRUE(loader.Failures().empty());
}

TEST_F(HostPluginLoader, CreatesTheExporterForTheExtensionInAnyCase) {
    PluginLoader loader;
    ASSERT_TRUE(loader.LoadModule(FAKE_EXPORTER_MODULE));
    for (const char* extension : {"X", "x", "FAKE"}) {
        SceneExportPtr exporter = loader.CreateExporter(extension);
        ASSERT_NE(exporter, nullptr) << extension;
        EXPECT_STREQ(exporter->ShortDesc(), "Fake");
    }
    EXPECT_EQ(loader.CreateExporter("Y"), nullptr);
    EXPECT_EQ(loader.CreateExporter(""), nullptr);
    // Only scene-export classes are asked for objects.
    EXPECT_EQ(NonExportCreateCalls(loader.Modules().front()), 0);
}

TEST_F(HostPluginLoader, ModuleWithAnotherExtensionOffersNoXExporter) {
    PluginLoader loader;
    ASSERT_TRUE(loader.LoadModule(FAKE_OTHER_EXTENSION_MODULE));
    EXPECT_EQ(loader.CreateExporter("X"), nullptr);
    EXPECT_NE(loader.CreateExporter("Y"), nullptr);
}

TEST_F(HostPluginLoader, ModuleWithoutAnEntryPointIsRefusedWithItsName) {
    PluginLoader loader;
    EXPECT_FALSE(loader.LoadModule(FAKE_NO_LIB_VERSION_MODULE));
    EXPECT_TRUE(loader.Modules().empty());
    ASSERT_EQ(loader.Failures().size(), 1u);
    EXPECT_EQ(loader.Failures()[0].file, FAKE_NO_LIB_VERSION_MODULE);
    EXPECT_EQ(loader.Failures()[0].reason, "not a plug-in: no entry point LibVersion");
}

TEST_F(HostPluginLoader, ModuleForAnotherHostVersionIsRefused) {
    PluginLoader loader;
    EXPECT_FALSE(loader.LoadModule(FAKE_OLD_VERSION_MODULE));
    ASSERT_EQ(loader.Failures().size(), 1u);
    EXPECT_EQ(loader.Failures()[0].reason,
              "built for host version 0x2EE02300, this host is 0x36B02600");
}

TEST_F(HostPluginLoader, FileThatIsNoLibraryIsRefusedWithTheLinkersReason) {
    std::ofstream(dir / "garbage.so") << "not an ELF file";
    PluginLoader loader;
    EXPECT_FALSE(loader.LoadModule((dir / "garbage.so").string()));
    ASSERT_EQ(loader.Failures().size(), 1u);
    EXPECT_NE(loader.Failures()[0].reason.find("garbage.so"), std::string::npos)
        << loader.Failures()[0].reason;
}

TEST_F(HostPluginLoader, DirectoryLoadsOnlyModulesInNameOrder) {
    Link(FAKE_OTHER_EXTENSION_MODULE, "b-other.so");
    Link(FAKE_EXPORTER_MODULE, "a-fake.so");
    Link(FAKE_NO_LIB_VERSION_MODULE, "c-broken.so");
    std::ofstream(dir / "notes.txt") << "ignored";
    fs::create_directory(dir / "sub.so");  // a directory, not a module
    PluginLoader loader;
    ASSERT_TRUE(loader.LoadDirectory(dir.string()));
    ASSERT_EQ(loader.Modules().size(), 2u);
    EXPECT_EQ(fs::path(loader.Modules()[0].file).filename(), "a-fake.so");
    EXPECT_EQ(fs::path(loader.Modules()[1].file).filename(), "b-other.so");
    ASSERT_EQ(loader.Failures().size(), 1u);
    EXPECT_EQ(fs::path(loader.Failures()[0].file).filename(), "c-broken.so");
    EXPECT_NE(loader.CreateExporter("X"), nullptr);
}

TEST_F(HostPluginLoader, MissingDirectoryIsReported) {
    PluginLoader loader;
    EXPECT_FALSE(loader.LoadDirectory((dir / "missing").string()));
    EXPECT_EQ(loader.DirectoryError(), "No such file or directory");
    EXPECT_TRUE(loader.Modules().empty());
}

TEST(HostPluginVersion, ReleaseAndInterfaceMustMatch) {
    EXPECT_TRUE(IsCompatibleLibVersion(VERSION_3DSMAX));
    EXPECT_TRUE(IsCompatibleLibVersion(0x36B02600));
    EXPECT_TRUE(IsCompatibleLibVersion(0x36B02601));   // another SDK revision
    EXPECT_FALSE(IsCompatibleLibVersion(0x36B02500));  // another interface number
    EXPECT_FALSE(IsCompatibleLibVersion(0x2EE02600));  // another release
}
