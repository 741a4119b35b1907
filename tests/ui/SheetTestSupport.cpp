#include "SheetTestSupport.h"

#include "platform/win/WinUser.h"

namespace tarvo::uitest {

void SheetTest::SetUp() {
    SetMessageBoxSink(
        [this](HWND owner, const std::string& text, const std::string& caption, UINT type) {
            boxes.push_back({owner, text, caption, type});
            return IDOK;
        });
}

void SheetTest::TearDown() {
    SetMessageBoxSink(nullptr);
}

void SheetTest::OpenSheet() {
    PageHost host;
    host.clock = [this] { return clock; };
    host.hostRelease = 14;
    host.igameVersion = 1.5f;
    host.plugCfgDir = "/home/user/.config/tarvo-dx";
    sheet = std::make_unique<OptionsSheetModel>(options, host);
    sheet->SetModalRunner(
        [this](DialogModel& dialog, HWND) { return AnswerSegmentDialog(dialog); });
}

void SheetTest::Visit(SheetPage page) {
    sheet->Activate(page);
}

DialogState& SheetTest::Controls(SheetPage page) {
    return sheet->Page(page).Controls();
}

void SheetTest::Click(SheetPage page, int id) {
    DialogModel& dialog = sheet->Page(page);
    const std::vector<ControlTemplate>& controls = dialog.Template().controls;
    ControlState& state = dialog.Controls().At(id);
    if (state.kind == ControlKind::CheckBox) state.checked = !state.checked;
    if (state.kind == ControlKind::RadioButton) {
        // The run of option buttons around the clicked one is its group.
        auto at = std::find_if(controls.begin(), controls.end(),
                               [id](const ControlTemplate& c) { return c.id == id; });
        auto first = at;
        while (!first->groupStart && first != controls.begin() &&
               (first - 1)->kind == ControlKind::RadioButton)
            --first;
        for (auto it = first; it != controls.end() && it->kind == ControlKind::RadioButton &&
                              (it == first || !it->groupStart);
             ++it)
            dialog.Controls().At(it->id).checked = it->id == id;
    }
    (void)dialog.Command({id, Notification::Clicked});
}

void SheetTest::Choose(SheetPage page, int id, const std::string& item) {
    DialogModel& dialog = sheet->Page(page);
    ControlState& list = dialog.Controls().At(id);
    auto at = std::find(list.items.begin(), list.items.end(), item);
    ASSERT_NE(at, list.items.end()) << item;
    list.selection = static_cast<int>(at - list.items.begin());
    (void)dialog.Command({id, Notification::SelectionConfirmed});
}

void SheetTest::Type(SheetPage page, int id, const std::string& text) {
    DialogModel& dialog = sheet->Page(page);
    dialog.Controls().At(id).text = text;
    (void)dialog.Command({id, Notification::TextChanged});
}

std::string SheetTest::Cell(int row, int column) {
    return sheet->Page(kAnimation).ItemText(animation::kSegments, row, column);
}

INT_PTR SheetTest::AnswerSegmentDialog(DialogModel& dialog) {
    DialogState& controls = dialog.Controls();
    dialog.Initialise();
    dialogsSeen.push_back({controls.At(segment::kName).text, controls.At(segment::kStart).text,
                           controls.At(segment::kFinish).text,
                           controls.At(segment::kStartSpin).rangeLow,
                           controls.At(segment::kStartSpin).rangeHigh});
    EXPECT_EQ(controls.At(segment::kFinishSpin).rangeHigh,
              controls.At(segment::kStartSpin).rangeHigh);
    if (answers.empty()) {
        ADD_FAILURE() << "the segment dialog opened without an answer ready";
        return IDC_CANCEL;
    }
    SegmentAnswer answer = answers.front();
    answers.erase(answers.begin());
    if (answer.name) controls.At(segment::kName).text = *answer.name;
    if (answer.start) controls.At(segment::kStart).text = *answer.start;
    if (answer.finish) controls.At(segment::kFinish).text = *answer.finish;
    std::optional<INT_PTR> result = dialog.Command({answer.button, Notification::Clicked});
    EXPECT_TRUE(result.has_value()) << "button " << answer.button << " did not close the dialog";
    return result.value_or(IDC_CANCEL);
}

AnimSegment Segment(const std::string& name, std::int32_t start, std::int32_t end) {
    AnimSegment segment;
    segment.name = name;
    segment.start = start;
    segment.end = end;
    return segment;
}

}  // namespace tarvo::uitest
