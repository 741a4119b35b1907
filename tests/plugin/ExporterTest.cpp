// The exporter's identity as the host sees it, and a new exporter's state.
#include <gtest/gtest.h>

#include "plugin/Exporter.h"

extern "C" {
const MCHAR* LibDescription();
int LibNumberClasses();
ClassDesc* LibClassDesc(int i);
ULONG LibVersion();
}

namespace {

TEST(PluginEntry, EntryPointsAndClassDescriptor) {
    EXPECT_STREQ(LibDescription(), "Directx Exporter");
    EXPECT_EQ(LibNumberClasses(), 1);
    EXPECT_EQ(LibVersion(), 0x36B02600u);
    EXPECT_EQ(LibClassDesc(1), nullptr);
    ClassDesc* desc = LibClassDesc(0);
    ASSERT_NE(desc, nullptr);
    EXPECT_EQ(desc->IsPublic(), 1);
    EXPECT_EQ(desc->SuperClassID(), SCENE_EXPORT_CLASS_ID);
    EXPECT_EQ(desc->ClassID(), Class_ID(0x7993F6FD, 0x97D9806F));
    EXPECT_STREQ(desc->ClassName(), "TarvoDirectXMaxExporter");
    EXPECT_STREQ(desc->Category(), "Exporter");
    EXPECT_STREQ(static_cast<ClassDesc2*>(desc)->InternalName(), "TarvoDirectXMaxExporter");
    EXPECT_NE(static_cast<ClassDesc2*>(desc)->HInstance(), nullptr);
    auto* exporter = static_cast<SceneExport*>(desc->Create(FALSE));
    ASSERT_NE(exporter, nullptr);
    EXPECT_STREQ(exporter->ShortDesc(), "Tarvo DirectX");
    delete exporter;
}

TEST(PluginEntry, IdentityOperations) {
    TarvoDirectXMaxExporter exporter;
    EXPECT_EQ(exporter.ExtCount(), 1);
    EXPECT_STREQ(exporter.Ext(0), "X");
    ASSERT_NE(exporter.Ext(1), nullptr);
    EXPECT_STREQ(exporter.Ext(1), "");
    EXPECT_STREQ(exporter.LongDesc(), "Tarvo DirectX,  for use with 3D Studio MAX");
    EXPECT_STREQ(exporter.OtherMessage1(), "");
    EXPECT_EQ(exporter.Version(), 480u);
    EXPECT_EQ(exporter.SupportsOptions(0, 1), 1);
    EXPECT_EQ(exporter.SupportsOptions(0, 0), 0);
    EXPECT_EQ(exporter.SupportsOptions(1, 1), 0);
}

TEST(PluginEntry, LoadResStringSharesOneBuffer) {
    const char* first = LoadResString(IDS_EXPORTING_DATA);
    EXPECT_STREQ(first, "Exporting data...");
    const char* second = LoadResString(IDS_MESH);
    EXPECT_EQ(first, second);
    EXPECT_STREQ(first, " mesh.");
    EXPECT_EQ(LoadResString(4), nullptr);  // there is no string 4
}

TEST(Exporter, NewExporterHoldsTheDefaults) {
    TarvoDirectXMaxExporter exporter;
    EXPECT_EQ(exporter.options, ExportOptions{});
    EXPECT_EQ(exporter.options.frameSetting, 2);
    EXPECT_EQ(exporter.options.keyFrameStep, 30);
    EXPECT_TRUE(exporter.options.segments.empty());
    EXPECT_FALSE(exporter.saveObject);
    EXPECT_TRUE(exporter.outputDir.empty());
    EXPECT_TRUE(exporter.sceneMaterials.empty());
    EXPECT_EQ(exporter.stringPool.BlockCount(), 0u);
}

}  // namespace
