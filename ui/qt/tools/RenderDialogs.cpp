// Draws each option page, the segment dialog and the About box of a scene into PNG files
// for the user guide: tarvo-render-dialogs <scene file> <folder>. Run it with
// QT_QPA_PLATFORM=offscreen where there is no display.
#include <cstdio>
#include <filesystem>
#include <memory>
#include <string>

#include "host/scene/SceneFile.h"
#include "platform/max/HostScene.h"
#include "platform/max/Interface.h"
#include "settings/Settings.h"
#include "ui/DialogToolkit.h"
#include "ui/OptionsSheetModel.h"
#include "ui/ResourceIds.h"

extern "C" const tarvo::ui::DialogToolkit* TarvoDialogToolkit();

namespace {

using namespace tarvo::ui;

// The picture files, in the sheet's page order.
constexpr const char* kPageFiles[] = {
    "options-objects.png",  "options-mesh.png",  "options-animation.png",
    "options-textures.png", "options-xfile.png", "options-about.png",
};

// What a first export of the scene shows: the defaults with the segment over the whole
// animation range, and a second segment so that the list shows more than one row.
ExportOptions OptionsOfAFirstExport(const SceneClock& clock) {
    ExportOptions options;
    AddSegment(options.segments, "Anim-1", clock.animStart, clock.animEnd);
    AddSegment(options.segments, "Wave", clock.animStart,
               clock.animStart + (clock.animEnd - clock.animStart) / 2);
    return options;
}

bool Render(bool drawn, const std::filesystem::path& file) {
    std::printf("%s %s\n", drawn ? "wrote" : "could not write", file.string().c_str());
    return drawn;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 3) {
        std::fprintf(stderr, "usage: %s <scene file> <folder>\n", argv[0]);
        return 2;
    }
    const std::filesystem::path folder = argv[2];
    std::unique_ptr<HostScene> scene;
    try {
        scene = std::make_unique<HostScene>(tarvo::scenefile::LoadSceneFile(argv[1]));
    } catch (const std::exception& failure) {
        std::fprintf(stderr, "%s: %s\n", argv[0], failure.what());
        return 1;
    }
    Interface host(scene.get());
    const Interval range = host.GetAnimRange();
    const SceneClock clock{range.Start(), range.End(), GetFrameRate(), GetTicksPerFrame()};
    ExportOptions options = OptionsOfAFirstExport(clock);

    PageHost pages;
    pages.clock = [clock] { return clock; };
    pages.hostRelease = HostRelease();
    pages.igameVersion = 1.0f;
    pages.plugCfgDir = "~/.config/tarvo-dx";
    const DialogToolkit& toolkit = *TarvoDialogToolkit();
    bool allDrawn = true;
    for (int page = 0; page < 6; ++page) {
        OptionsSheetModel sheet(options, pages);
        const auto file = folder / kPageFiles[page];
        allDrawn &= Render(toolkit.renderSheetPage(sheet, page, file.c_str()), file);
    }
    // The dialog as "Edit..." opens it on the second segment.
    const std::int32_t step = PageSampleStep(options, clock);
    const AnimSegment& wave = options.segments[1];
    SegmentRecord record{wave.name, wave.start / step, wave.end / step, clock.animStart / step,
                         clock.animEnd / step};
    SegmentDialogModel segment(record);
    allDrawn &= Render(toolkit.renderDialog(segment, (folder / "segment-dialog.png").c_str()),
                       folder / "segment-dialog.png");
    AboutBoxModel about(HostRelease());
    allDrawn &= Render(toolkit.renderDialog(about, (folder / "about-box.png").c_str()),
                       folder / "about-box.png");
    return allDrawn ? 0 : 1;
}
