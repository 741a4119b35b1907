// The moment a still export takes the scene at: the host's current time, handed to IGame as
// the frame number it asks for.
#include <gtest/gtest.h>

#include "../mesh/MeshTestSupport.h"
#include "platform/max/HostScene.h"
#include "plugin/Exporter.h"
#include "settings/Settings.h"

namespace {

constexpr TimeValue kCurrentTime = 800;  // frame 5 at 160 ticks per frame

// Exports a scene whose host stands at kCurrentTime and returns the moment IGame was set to.
TimeValue StaticTimeOfExport(std::int32_t exportAnimation) {
    tarvo::scene::SceneData data = meshtest::OneMeshScene(
        tarvo::scene::MeshData{{Point3(0, 0, 0), Point3(1, 0, 0), Point3(0, 1, 0)},
                               {{{0, 1, 2}, 1, 0}},
                               {},
                               std::nullopt});
    data.currentTime = kCurrentTime;
    HostScene scene(std::move(data));
    Interface host(&scene);
    tarvo::testsupport::TempDir dir;
    host.SetPlugCfgDir(dir.File(""));
    ExportOptions options;
    options.exportAnimation = exportAnimation;
    EXPECT_TRUE(SaveSettings(options, host));
    TarvoDirectXMaxExporter exporter;
    EXPECT_EQ(exporter.DoExport(dir.File("still.x").c_str(), nullptr, &host, TRUE, 0), 1);
    EXPECT_EQ(exporter.staticTime, exportAnimation ? 0 : kCurrentTime);
    return scene.IGame()->GetStaticTime();
}

TEST(StaticFrameTest, StillExportTakesTheHostsCurrentTimeAndAnimatedOneTimeZero) {
    EXPECT_EQ(StaticTimeOfExport(0), kCurrentTime);
    EXPECT_EQ(StaticTimeOfExport(1), 0);
}

}  // namespace
