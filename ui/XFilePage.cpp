// Page 5, "X File Settings": the file's form, its frames, its axes and the animation
// options written with each animation. Nothing here is ever disabled; the frame mode
// chosen here changes what pages 1 and 2 enable when they next become active.
#include <utility>

#include "ui/PageProcedures.h"
#include "ui/ResourceIds.h"

namespace tarvo::ui {
namespace {

using namespace xfile;

const std::pair<int, std::int32_t ExportOptions::*> kBoxes[] = {
    {kLeftHanded, &ExportOptions::leftHanded},
    {kAnimationOptions, &ExportOptions::aniOptions},
};

// By aniOpenClosed and aniPositionQuality value.
constexpr const char* kOpenClosedItems[] = {"Closed", "Open"};
constexpr const char* kPositionQualityItems[] = {"Spline Positions", "Linear Positions"};

void Initialise(PageContext& page) {
    CheckRadioPosition(page.controls, kText, kCompressed, page.options.xFileType);
    CheckRadioPosition(page.controls, kNoFrames, kSubFrames, page.options.frameSetting);
    for (const auto& [id, field] : kBoxes)
        CheckDlgButton(page.controls, id, page.options.*field != 0);
    FillList(page.controls, kOpenClosed, kOpenClosedItems, page.options.aniOpenClosed);
    FillList(page.controls, kPositionQuality, kPositionQualityItems,
             page.options.aniPositionQuality);
}

void KillActive(PageContext& page) {
    StoreRadioChoice(page.controls, kNoFrames, kSubFrames, page.options.frameSetting);
    StoreRadioChoice(page.controls, kText, kCompressed, page.options.xFileType);
    for (const auto& [id, field] : kBoxes)
        page.options.*field = IsDlgButtonChecked(page.controls, id) ? 1 : 0;
}

void Command(PageContext& page, const ControlCommand& command) {
    if (command.code != Notification::SelectionConfirmed) return;
    if (command.id == kOpenClosed)
        StoreListChoice(page.controls, kOpenClosed, page.options.aniOpenClosed);
    else if (command.id == kPositionQuality)
        StoreListChoice(page.controls, kPositionQuality, page.options.aniPositionQuality);
}

}  // namespace

const PageProcedure kXFilePage = {IDD_XFILE_PAGE, Initialise, NoEvent,
                                  KillActive,     Command,    NoItemText};

}  // namespace tarvo::ui
