// Page 3, "Animation": the sampling rate, the key options, the timeline, the method, and
// the list of named segments with the segment dialog that adds and edits them. Segment
// times are kept in ticks and shown in samples of the current rate.
#include <algorithm>
#include <limits>

#include "platform/win/WinUser.h"
#include "plugin/SampleStep.h"
#include "settings/Settings.h"
#include "settings/SettingsNumbers.h"
#include "ui/PageProcedures.h"
#include "ui/ResourceIds.h"

namespace tarvo::ui {
namespace {

using namespace animation;

constexpr int kNameColumn = 0;
constexpr int kStartColumn = 1;
constexpr int kEndColumn = 2;

std::vector<ListColumn> SegmentColumns() {
    return {{"Name", 150}, {"Start", 70}, {"End", 70}};
}

// Samples back to ticks; the checks the record passed keep it within the scene's range.
std::int32_t SamplesToTicks(std::int32_t samples, std::int32_t step) {
    const std::int64_t ticks = static_cast<std::int64_t>(samples) * step;
    return static_cast<std::int32_t>(std::clamp<std::int64_t>(
        ticks, std::numeric_limits<std::int32_t>::min(), std::numeric_limits<std::int32_t>::max()));
}

void FillSegmentList(PageContext& page) {
    ListViewDeleteAllItems(page.controls, kSegments);
    const auto count = static_cast<std::int32_t>(page.options.segments.size());
    for (std::int32_t i = 0; i < count; ++i) ListViewInsertItem(page.controls, kSegments, i, i);
}

void SelectRadiosFromFields(PageContext& page) {
    CheckRadioPosition(page.controls, kMatrix, kSeparateKeys, page.options.aniComponents);
    CheckRadioPosition(page.controls, kTicks, kKeySequence, page.options.timeLine);
    CheckRadioPosition(page.controls, kSampled, kKeyFramesOnly, page.options.aniKeyframeOnly);
}

// Key frames carry the controller's own times, which only ticks can express.
void ForceTicksTimeline(PageContext& page) {
    CheckRadioButton(page.controls, kTicks, kKeySequence, kTicks);
    page.options.timeLine = kTimeLineTicks;
    EnableDlgItem(page.controls, kKeySequence, false);
}

void Initialise(PageContext& page) {
    SetDlgItemInt(page.controls, kSamplingRate, page.options.keyFrameStep);
    SelectRadiosFromFields(page);
    page.controls.At(kSegments).fullRowSelect = true;
    ListViewSetColumns(page.controls, kSegments, SegmentColumns());
    FillSegmentList(page);
}

void SetActive(PageContext& page) {
    const SceneClock clock = page.host.clock();
    if (page.options.keyFrameStep > 0) {
        SetDlgItemText(page.controls, kKeys, KeyCountText(page.options, clock));
        SetDlgItemText(page.controls, kLength, LengthText(clock));
    }
    SelectRadiosFromFields(page);
    if (page.options.aniKeyframeOnly != 0) ForceTicksTimeline(page);
}

void KillActive(PageContext& page) {
    const std::int32_t rate = GetDlgItemInt(page.controls, kSamplingRate);
    if (rate < 1)
        SetDlgItemInt(page.controls, kSamplingRate, page.options.keyFrameStep);
    else
        page.options.keyFrameStep = rate;
    StoreRadioChoice(page.controls, kMatrix, kSeparateKeys, page.options.aniComponents);
    StoreRadioChoice(page.controls, kTicks, kKeySequence, page.options.timeLine);
    StoreRadioChoice(page.controls, kSampled, kKeyFramesOnly, page.options.aniKeyframeOnly);
}

void SamplingRateChanged(PageContext& page) {
    const std::int32_t rate = GetDlgItemInt(page.controls, kSamplingRate);
    if (rate > 0) page.options.keyFrameStep = rate;
    if (page.options.keyFrameStep >= 1)
        SetDlgItemText(page.controls, kKeys, KeyCountText(page.options, page.host.clock()));
}

// Shows the segment dialog over the page; true when the user pressed OK.
bool RunSegmentDialog(PageContext& page, SegmentRecord& record) {
    if (!page.host.runModal) return false;
    SegmentDialogModel dialog(record);
    return page.host.runModal(dialog, page.controls.window) == IDC_OK;
}

// The record's problem in a message box; true when there was one.
bool RefuseSegment(const SegmentRecord& record, const std::vector<AnimSegment>& segments,
                   int edited) {
    const std::optional<std::string> problem = SegmentProblem(record, segments, edited);
    if (!problem) return false;
    (void)MessageBoxA(nullptr, problem->c_str(), kValidationCaption, MB_OK);
    return true;
}

SegmentRecord RecordForScene(const SceneClock& clock, std::int32_t step) {
    SegmentRecord record;
    record.min = clock.animStart / step;
    record.max = clock.animEnd / step;
    return record;
}

void AddSegmentFromDialog(PageContext& page) {
    const SceneClock clock = page.host.clock();
    const std::int32_t step = PageSampleStep(page.options, clock);
    SegmentRecord record = RecordForScene(clock, step);
    record.name =
        "Anim-" + FormatDecimal(static_cast<std::int64_t>(page.options.segments.size()) + 1);
    record.start = record.min;
    record.finish = record.max;
    if (!RunSegmentDialog(page, record)) return;
    if (RefuseSegment(record, page.options.segments, -1)) return;
    AddSegment(page.options.segments, record.name, SamplesToTicks(record.start, step),
               SamplesToTicks(record.finish, step));
    FillSegmentList(page);
}

// The segment a list row shows, or -1 for no row or a row without one.
int SegmentOfRow(const PageContext& page, int row) {
    if (row == kNoSelection || row >= ListViewGetItemCount(page.controls, kSegments)) return -1;
    const std::int32_t index = ListViewGetItemData(page.controls, kSegments, row);
    const bool exists =
        index >= 0 && index < static_cast<std::int32_t>(page.options.segments.size());
    return exists ? index : -1;
}

void EditSelectedSegment(PageContext& page) {
    const int index = SegmentOfRow(page, ListViewGetSelectionMark(page.controls, kSegments));
    if (index < 0) return;
    const SceneClock clock = page.host.clock();
    const std::int32_t step = PageSampleStep(page.options, clock);
    AnimSegment& segment = page.options.segments[index];
    SegmentRecord record = RecordForScene(clock, step);
    record.name = segment.name;
    record.start = segment.start / step;
    record.finish = segment.end / step;
    if (!RunSegmentDialog(page, record)) return;
    if (RefuseSegment(record, page.options.segments, index)) return;
    segment.name = record.name;
    segment.start = SamplesToTicks(record.start, step);
    segment.end = SamplesToTicks(record.finish, step);
    FillSegmentList(page);
}

void DeleteSelectedSegment(PageContext& page) {
    const int index = SegmentOfRow(page, ListViewGetSelectionMark(page.controls, kSegments));
    if (index < 0) return;
    page.options.segments.erase(page.options.segments.begin() + index);
    FillSegmentList(page);
    ListViewSetSelectionMark(page.controls, kSegments, kNoSelection);
}

void Command(PageContext& page, const ControlCommand& command) {
    if (command.id == kSamplingRate) {
        if (command.code == Notification::TextChanged) SamplingRateChanged(page);
        return;
    }
    if (command.code != Notification::Clicked) return;
    switch (command.id) {
        case kSampled:
            EnableDlgItem(page.controls, kKeySequence, true);
            break;
        case kKeyFramesOnly:
            ForceTicksTimeline(page);
            break;
        case kAdd:
            AddSegmentFromDialog(page);
            break;
        case kEdit:
            EditSelectedSegment(page);
            break;
        case kDelete:
            DeleteSelectedSegment(page);
            break;
        default:
            break;
    }
}

// Asked whenever a row is drawn, so the samples follow the rate as it is typed.
std::string ItemText(const PageContext& page, int id, int item, int column) {
    if (id != kSegments) return {};
    const int index = SegmentOfRow(page, item);
    if (index < 0) return {};
    const AnimSegment& segment = page.options.segments[index];
    const std::int32_t step = PageSampleStep(page.options, page.host.clock());
    switch (column) {
        case kNameColumn:
            return segment.name;
        case kStartColumn:
            return FormatDecimal(segment.start / step);
        case kEndColumn:
            return FormatDecimal(segment.end / step);
        default:
            return {};
    }
}

}  // namespace

const PageProcedure kAnimationPage = {IDD_ANIMATION_PAGE, Initialise, SetActive,
                                      KillActive,         Command,    ItemText};

std::int32_t PageSampleStep(const ExportOptions& options, const SceneClock& clock) {
    const std::int64_t ticksPerSecond =
        static_cast<std::int64_t>(clock.frameRate) * clock.ticksPerFrame;
    return SampleStep(static_cast<std::int32_t>(std::clamp<std::int64_t>(
                          ticksPerSecond, 1, std::numeric_limits<std::int32_t>::max())),
                      options.keyFrameStep);
}

std::string KeyCountText(const ExportOptions& options, const SceneClock& clock) {
    const std::int64_t span = static_cast<std::int64_t>(clock.animEnd) - clock.animStart;
    return "Keys: " + FormatDecimal(span / PageSampleStep(options, clock)) +
           "  FrameRate: " + FormatDecimal(clock.frameRate) + " fps";
}

std::string LengthText(const SceneClock& clock) {
    const std::int64_t span = static_cast<std::int64_t>(clock.animEnd) - clock.animStart;
    const std::int64_t ticksPerFrame = std::max(clock.ticksPerFrame, 1);
    const std::int64_t frameRate = std::max(clock.frameRate, 1);
    return "Length: " + FormatDecimal(span / ticksPerFrame / frameRate) + " secs";
}

}  // namespace tarvo::ui
