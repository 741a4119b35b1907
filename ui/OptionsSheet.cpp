#include "ui/OptionsSheet.h"

#include "plugin/Exporter.h"
#include "settings/Settings.h"
#include "ui/DialogToolkit.h"
#include "ui/OptionsSheetModel.h"

namespace {

using namespace tarvo::ui;

constexpr INT_PTR kNotShown = -1;

// The host as the pages read it: the clock is read afresh at every message.
PageHost PageHostFor(const TarvoDirectXMaxExporter& exporter) {
    Interface* host = exporter.hostInterface;
    PageHost pages;
    pages.clock = [host] {
        SceneClock clock{0, 0, GetFrameRate(), GetTicksPerFrame()};
        if (host != nullptr) {
            const Interval range = host->GetAnimRange();
            clock.animStart = range.Start();
            clock.animEnd = range.End();
        }
        return clock;
    };
    pages.hostRelease = HostRelease();
    pages.igameVersion = exporter.igameVersion;
    if (host != nullptr) pages.plugCfgDir = host->GetDir(APP_PLUGCFG_DIR);
    return pages;
}

}  // namespace

INT_PTR OptionsSheet(TarvoDirectXMaxExporter& exporter, HWND parent) {
    const DialogToolkit* toolkit = LoadDialogToolkit();
    if (toolkit == nullptr) return kNotShown;
    OptionsSheetModel sheet(exporter.options, PageHostFor(exporter));
    return toolkit->runPropertySheet(sheet, parent);
}

INT_PTR ShowAboutBox(HWND parent) {
    const DialogToolkit* toolkit = LoadDialogToolkit();
    if (toolkit == nullptr) return kNotShown;
    AboutBoxModel about(HostRelease());
    return toolkit->runModalDialog(about, parent);
}
