// Drives the option pages and the segment dialog the way a toolkit would, without one:
// clicks, choices and typing change the control state first and are then reported as
// commands. Message boxes and window centring are captured.
#pragma once

#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "platform/win/WinUser.h"
#include "plugin/ExportOptions.h"
#include "ui/OptionsSheetModel.h"
#include "ui/ResourceIds.h"

namespace tarvo::uitest {

using namespace tarvo::ui;

// Page positions in the sheet.
enum SheetPage { kObjects = 0, kMesh, kAnimation, kTextures, kXFile, kAbout };

struct MessageBoxSeen {
    HWND owner;
    std::string text;
    std::string caption;
    UINT type;
};

// What the segment dialog showed when it opened.
struct SegmentDialogSeen {
    std::string name;
    std::string start;
    std::string finish;
    int spinLow;
    int spinHigh;
};

// The user's answer to the segment dialog: texts to type (empty keeps the box as shown)
// and the button to press.
struct SegmentAnswer {
    std::optional<std::string> name = std::nullopt;
    std::optional<std::string> start = std::nullopt;
    std::optional<std::string> finish = std::nullopt;
    int button = IDC_OK;
};

class SheetTest : public ::testing::Test {
  protected:
    void SetUp() override;
    void TearDown() override;

    // A sheet over `options`, nothing shown yet.
    void OpenSheet();
    // Moves to a page as a click on its tab does.
    void Visit(SheetPage page);
    DialogState& Controls(SheetPage page);

    // A click on a check box (toggles it), an option button (checks it and clears the rest
    // of its group) or a push button.
    void Click(SheetPage page, int id);
    // Chooses the list item with this text.
    void Choose(SheetPage page, int id, const std::string& item);
    void Type(SheetPage page, int id, const std::string& text);
    std::string Cell(int row, int column);

    // One answer per segment dialog the next commands open, in order.
    std::vector<SegmentAnswer> answers;
    std::vector<SegmentDialogSeen> dialogsSeen;
    std::vector<MessageBoxSeen> boxes;

    ExportOptions options;
    // 4,800 ticks per second: 160 ticks per sample at the default 30 samples per second.
    SceneClock clock{0, 16000, 30, 160};
    std::unique_ptr<OptionsSheetModel> sheet;

  private:
    INT_PTR AnswerSegmentDialog(DialogModel& dialog);
};

// A segment with its times in ticks.
AnimSegment Segment(const std::string& name, std::int32_t start, std::int32_t end);

}  // namespace tarvo::uitest
