// The segment dialog ("Animation Segment"): a name and a start and finish in samples, and
// the checks a segment from it must pass before the animation page takes it.
#include <algorithm>

#include "platform/max/Interface.h"
#include "settings/SettingsNumbers.h"
#include "ui/OptionPages.h"
#include "ui/ResourceIds.h"

namespace tarvo::ui {

using namespace segment;

SegmentDialogModel::SegmentDialogModel(SegmentRecord& record)
    : m_record(record), m_controls(RequireTemplate(IDD_SEGMENT)) {}

const DialogTemplate& SegmentDialogModel::Template() const {
    return RequireTemplate(IDD_SEGMENT);
}

void SegmentDialogModel::Initialise() {
    SetDlgItemInt(m_controls, kStart, m_record.start);
    SetDlgItemInt(m_controls, kFinish, m_record.finish);
    SetDlgItemText(m_controls, kName, m_record.name);
    SpinSetRange(m_controls, kStartSpin, m_record.min, m_record.max);
    SpinSetRange(m_controls, kFinishSpin, m_record.min, m_record.max);
    (void)CenterWindow(m_controls.window, m_controls.parent);
}

std::optional<INT_PTR> SegmentDialogModel::Command(const ControlCommand& command) {
    if (command.id == IDC_CANCEL) return IDC_CANCEL;
    if (command.id != IDC_OK) return std::nullopt;
    m_record.name = GetDlgItemText(m_controls, kName).substr(0, kMaxSegmentName);
    m_record.start = GetDlgItemInt(m_controls, kStart);
    m_record.finish = GetDlgItemInt(m_controls, kFinish);
    return IDC_OK;
}

// A segment without a name becomes an animation set that cannot be found by name; one
// that ends before it starts has no keys; and times outside the scene's range would be
// replaced by the range's ends the next time the settings are loaded.
std::optional<std::string> SegmentProblem(const SegmentRecord& record,
                                          const std::vector<AnimSegment>& segments, int edited) {
    if (record.name.empty()) return std::string("Animation name is empty");
    for (std::size_t i = 0; i < segments.size(); ++i)
        if (static_cast<int>(i) != edited && segments[i].name == record.name)
            return std::string(kDuplicateSegmentName);
    if (record.start > record.finish) return std::string("Animation start comes after its finish");
    const auto inRange = [&](std::int32_t sample) {
        return sample >= record.min && sample <= record.max;
    };
    if (!inRange(record.start) || !inRange(record.finish))
        return "Animation start and finish must lie between " + FormatDecimal(record.min) +
               " and " + FormatDecimal(record.max);
    return std::nullopt;
}

}  // namespace tarvo::ui
