// Page 3, "Animation", and the segment dialog: the rate, the key options, timeline and
// method, and adding, editing and deleting segments with their times in samples.
#include "SheetTestSupport.h"

#include "platform/max/Interface.h"

namespace tarvo::uitest {
namespace {

using namespace animation;

class AnimationPageTest : public SheetTest {
  protected:
    void Show() {
        OpenSheet();
        Visit(kAnimation);
    }
    const ControlState& Control(int id) { return Controls(kAnimation).At(id); }
    void SelectRow(int row) { Controls(kAnimation).At(kSegments).selection = row; }
    int Rows() { return ListViewGetItemCount(Controls(kAnimation), kSegments); }
};

TEST_F(AnimationPageTest, InitialisationShowsRateButtonsAndTheSegmentList) {
    options.keyFrameStep = 25;
    options.aniComponents = kAniSeparateKeys;
    options.segments = {Segment("Walk", 0, 8000), Segment("Run", 8000, 16000)};
    Show();
    EXPECT_EQ(Control(kSamplingRate).text, "25");
    EXPECT_TRUE(Control(kSeparateKeys).checked);
    EXPECT_TRUE(Control(kTicks).checked);
    EXPECT_TRUE(Control(kSampled).checked);
    const ControlState& list = Control(kSegments);
    ASSERT_EQ(list.columns.size(), 3u);
    EXPECT_EQ(list.columns[0].title, "Name");
    EXPECT_EQ(list.columns[0].width, 150);
    EXPECT_EQ(list.columns[1].title, "Start");
    EXPECT_EQ(list.columns[1].width, 70);
    EXPECT_EQ(list.columns[2].title, "End");
    EXPECT_EQ(list.columns[2].width, 70);
    EXPECT_TRUE(list.fullRowSelect);
    ASSERT_EQ(Rows(), 2);
    EXPECT_EQ(Cell(0, 0), "Walk");
    EXPECT_EQ(Cell(1, 0), "Run");
}

TEST_F(AnimationPageTest, BecomingActiveWritesKeyCountAndLength) {
    Show();
    EXPECT_EQ(Control(kKeys).text, "Keys: 100  FrameRate: 30 fps");
    EXPECT_EQ(Control(kLength).text, "Length: 3 secs");
}

TEST_F(AnimationPageTest, ListShowsTicksAsSamplesOfTheCurrentRate) {
    options.segments = {Segment("Walk", 0, 16000), Segment("Back", -480, 1599)};
    Show();
    EXPECT_EQ(Cell(0, 1), "0");
    EXPECT_EQ(Cell(0, 2), "100");
    // Whole-number division toward zero.
    EXPECT_EQ(Cell(1, 1), "-3");
    EXPECT_EQ(Cell(1, 2), "9");
    Type(kAnimation, kSamplingRate, "60");
    EXPECT_EQ(Cell(0, 2), "200");
    EXPECT_EQ(options.segments[0].end, 16000) << "the ticks stay as they are";
}

TEST_F(AnimationPageTest, TypingAPositiveRateStoresItAndRewritesTheKeyCount) {
    Show();
    Type(kAnimation, kSamplingRate, "60");
    EXPECT_EQ(options.keyFrameStep, 60);
    EXPECT_EQ(Control(kKeys).text, "Keys: 200  FrameRate: 30 fps");
}

TEST_F(AnimationPageTest, TypingZeroKeepsTheRateAndLeavingRestoresTheBox) {
    Show();
    Type(kAnimation, kSamplingRate, "0");
    EXPECT_EQ(options.keyFrameStep, 30);
    EXPECT_EQ(Control(kKeys).text, "Keys: 100  FrameRate: 30 fps");
    Visit(kMesh);
    EXPECT_EQ(options.keyFrameStep, 30);
    EXPECT_EQ(Control(kSamplingRate).text, "30");
}

TEST_F(AnimationPageTest, ARateAboveTheTicksPerSecondCountsOneTickPerSample) {
    options.segments = {Segment("Walk", 0, 320)};
    Show();
    Type(kAnimation, kSamplingRate, "10000");
    EXPECT_EQ(Control(kKeys).text, "Keys: 16000  FrameRate: 30 fps");
    EXPECT_EQ(Cell(0, 2), "320");
}

TEST_F(AnimationPageTest, KeyFramesOnlyForcesTicksAndSampledMakesKeySeqAvailable) {
    options.timeLine = kTimeLineKeySequence;
    Show();
    EXPECT_TRUE(Control(kKeySequence).checked);
    Click(kAnimation, kKeyFramesOnly);
    EXPECT_TRUE(Control(kTicks).checked);
    EXPECT_FALSE(Control(kKeySequence).checked);
    EXPECT_FALSE(Control(kKeySequence).enabled);
    EXPECT_EQ(options.timeLine, kTimeLineTicks);
    Click(kAnimation, kSampled);
    EXPECT_TRUE(Control(kKeySequence).enabled);
    EXPECT_TRUE(Control(kTicks).checked) << "available, not selected";
}

TEST_F(AnimationPageTest, BecomingActiveWithKeyFramesOnlyForcesTicks) {
    options.aniKeyframeOnly = 1;
    options.timeLine = kTimeLineKeySequence;
    Show();
    EXPECT_EQ(options.timeLine, kTimeLineTicks);
    EXPECT_TRUE(Control(kTicks).checked);
    EXPECT_FALSE(Control(kKeySequence).enabled);
}

TEST_F(AnimationPageTest, LeavingStoresTheThreePairs) {
    Show();
    Click(kAnimation, kSeparateKeys);
    Click(kAnimation, kKeySequence);
    Visit(kTextures);
    EXPECT_EQ(options.aniComponents, kAniSeparateKeys);
    EXPECT_EQ(options.timeLine, kTimeLineKeySequence);
    EXPECT_EQ(options.aniKeyframeOnly, 0);
    Visit(kAnimation);
    Click(kAnimation, kKeyFramesOnly);
    Visit(kTextures);
    EXPECT_EQ(options.aniKeyframeOnly, 1);
    EXPECT_EQ(options.timeLine, kTimeLineTicks);
}

// ---- Adding ----

TEST_F(AnimationPageTest, AddingToAnEmptyListProposesAnim1OverTheWholeRange) {
    Show();
    answers = {SegmentAnswer{}};
    Click(kAnimation, kAdd);
    ASSERT_EQ(dialogsSeen.size(), 1u);
    EXPECT_EQ(dialogsSeen[0].name, "Anim-1");
    EXPECT_EQ(dialogsSeen[0].start, "0");
    EXPECT_EQ(dialogsSeen[0].finish, "100");
    EXPECT_EQ(dialogsSeen[0].spinLow, 0);
    EXPECT_EQ(dialogsSeen[0].spinHigh, 100);
    ASSERT_EQ(options.segments.size(), 1u);
    EXPECT_EQ(options.segments[0], Segment("Anim-1", 0, 16000));
    EXPECT_EQ(Rows(), 1);
    EXPECT_TRUE(boxes.empty());
}

TEST_F(AnimationPageTest, TheProposalCountsSegmentsWhateverTheyAreCalled) {
    options.segments = {Segment("Walk", 0, 1600)};
    Show();
    answers = {SegmentAnswer{.button = IDC_CANCEL}};
    Click(kAnimation, kAdd);
    ASSERT_EQ(dialogsSeen.size(), 1u);
    EXPECT_EQ(dialogsSeen[0].name, "Anim-2");
    EXPECT_EQ(options.segments.size(), 1u) << "cancel adds nothing";
}

TEST_F(AnimationPageTest, SampleTimesAreStoredAsTicks) {
    Show();
    answers = {{.name = "Wave", .start = "10", .finish = "50"}};
    Click(kAnimation, kAdd);
    ASSERT_EQ(options.segments.size(), 1u);
    EXPECT_EQ(options.segments[0], Segment("Wave", 1600, 8000));
    EXPECT_EQ(Cell(0, 1), "10");
    EXPECT_EQ(Cell(0, 2), "50");
}

TEST_F(AnimationPageTest, NewSegmentsGoAtTheEnd) {
    options.segments = {Segment("Walk", 0, 1600)};
    Show();
    answers = {{.name = "Run"}};
    Click(kAnimation, kAdd);
    ASSERT_EQ(Rows(), 2);
    EXPECT_EQ(Cell(1, 0), "Run");
}

TEST_F(AnimationPageTest, ADuplicateNameIsRefusedWithTheValidationBox) {
    options.segments = {Segment("Anim-1", 0, 16000)};
    Show();
    answers = {{.name = "Anim-1", .start = "5"}};
    Click(kAnimation, kAdd);
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_EQ(boxes[0].owner, nullptr);
    EXPECT_EQ(boxes[0].text, "Animation name already exists");
    EXPECT_EQ(boxes[0].caption, "Validation Error");
    EXPECT_EQ(boxes[0].type, MB_OK);
    EXPECT_EQ(options.segments, (std::vector<AnimSegment>{Segment("Anim-1", 0, 16000)}));
}

TEST_F(AnimationPageTest, AnEmptyNameIsRefused) {
    Show();
    answers = {{.name = ""}};
    Click(kAnimation, kAdd);
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_EQ(boxes[0].text, "Animation name is empty");
    EXPECT_EQ(boxes[0].caption, "Validation Error");
    EXPECT_TRUE(options.segments.empty());
}

TEST_F(AnimationPageTest, AStartAfterTheFinishIsRefused) {
    Show();
    answers = {{.start = "60", .finish = "59"}};
    Click(kAnimation, kAdd);
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_EQ(boxes[0].text, "Animation start comes after its finish");
    EXPECT_TRUE(options.segments.empty());

    boxes.clear();
    answers = {{.start = "60", .finish = "60"}};
    Click(kAnimation, kAdd);
    EXPECT_TRUE(boxes.empty()) << "a one-sample segment is fine";
    EXPECT_EQ(options.segments.size(), 1u);
}

TEST_F(AnimationPageTest, TimesOutsideTheScenesRangeAreRefused) {
    clock.animStart = 1600;  // samples 10 to 100
    Show();
    for (const auto& [start, finish] : {std::pair{"9", "50"}, std::pair{"10", "101"},
                                        std::pair{"-5", "20"}, std::pair{"10", "99999999999"}}) {
        boxes.clear();
        answers = {{.start = start, .finish = finish}};
        Click(kAnimation, kAdd);
        ASSERT_EQ(boxes.size(), 1u) << start << ".." << finish;
        EXPECT_EQ(boxes[0].text, "Animation start and finish must lie between 10 and 100");
    }
    EXPECT_TRUE(options.segments.empty());
    answers = {{.start = "10", .finish = "100"}};
    Click(kAnimation, kAdd);
    EXPECT_EQ(options.segments, (std::vector<AnimSegment>{Segment("Anim-1", 1600, 16000)}));
}

TEST_F(AnimationPageTest, NamesLongerThan254CharactersAreCut) {
    Show();
    answers = {{.name = std::string(300, 'n')}};
    Click(kAnimation, kAdd);
    ASSERT_EQ(options.segments.size(), 1u);
    EXPECT_EQ(options.segments[0].name, std::string(254, 'n'));
}

TEST_F(AnimationPageTest, NumbersAreReadFromTheirLeadingDigits) {
    Show();
    answers = {{.start = " 12 samples", .finish = "abc"}};
    Click(kAnimation, kAdd);
    // "abc" reads as 0, which comes before the start of 12.
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_EQ(boxes[0].text, "Animation start comes after its finish");
    answers = {{.start = "abc", .finish = " 12 samples"}};
    Click(kAnimation, kAdd);
    EXPECT_EQ(options.segments, (std::vector<AnimSegment>{Segment("Anim-1", 0, 1920)}));
}

// ---- Editing ----

TEST_F(AnimationPageTest, EditingShowsTheSelectedSegmentInSamples) {
    options.segments = {Segment("Walk", 0, 8000), Segment("Run", 1600, 16000)};
    Show();
    SelectRow(1);
    answers = {{.start = "20", .finish = "40"}};
    Click(kAnimation, kEdit);
    ASSERT_EQ(dialogsSeen.size(), 1u);
    EXPECT_EQ(dialogsSeen[0].name, "Run");
    EXPECT_EQ(dialogsSeen[0].start, "10");
    EXPECT_EQ(dialogsSeen[0].finish, "100");
    EXPECT_EQ(dialogsSeen[0].spinHigh, 100);
    EXPECT_EQ(options.segments[1], Segment("Run", 3200, 6400));
    EXPECT_EQ(Cell(1, 1), "20");
}

TEST_F(AnimationPageTest, EditingMayKeepTheNameButNotTakeAnothers) {
    options.segments = {Segment("Walk", 0, 8000), Segment("Run", 1600, 16000)};
    Show();
    SelectRow(0);
    answers = {{.finish = "60"}};
    Click(kAnimation, kEdit);
    EXPECT_TRUE(boxes.empty());
    EXPECT_EQ(options.segments[0], Segment("Walk", 0, 9600));

    SelectRow(0);
    answers = {{.name = "Run", .finish = "70"}};
    Click(kAnimation, kEdit);
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_EQ(boxes[0].text, "Animation name already exists");
    EXPECT_EQ(boxes[0].caption, "Validation Error");
    EXPECT_EQ(options.segments[0], Segment("Walk", 0, 9600));
}

TEST_F(AnimationPageTest, CancellingAnEditChangesNothing) {
    options.segments = {Segment("Walk", 0, 8000)};
    Show();
    SelectRow(0);
    answers = {{.name = "Jog", .button = IDC_CANCEL}};
    Click(kAnimation, kEdit);
    EXPECT_EQ(options.segments[0], Segment("Walk", 0, 8000));
}

TEST_F(AnimationPageTest, EditAndDeleteWithoutASelectionDoNothing) {
    options.segments = {Segment("Walk", 0, 8000)};
    Show();
    Click(kAnimation, kEdit);
    Click(kAnimation, kDelete);
    EXPECT_TRUE(dialogsSeen.empty());
    EXPECT_EQ(options.segments.size(), 1u);
}

TEST_F(AnimationPageTest, DeleteRemovesTheSelectedSegmentAtOnceWithoutAsking) {
    options.segments = {Segment("Walk", 0, 8000), Segment("Run", 0, 1600), Segment("Jump", 0, 160)};
    Show();
    SelectRow(1);
    Click(kAnimation, kDelete);
    EXPECT_TRUE(boxes.empty());
    EXPECT_EQ(options.segments,
              (std::vector<AnimSegment>{Segment("Walk", 0, 8000), Segment("Jump", 0, 160)}));
    EXPECT_EQ(Rows(), 2);
    EXPECT_EQ(Cell(1, 0), "Jump");
    EXPECT_EQ(Control(kSegments).selection, kNoSelection);
}

// ---- The segment dialog on its own ----

TEST(SegmentDialogTest, InitialisationFillsTheBoxesAndCentresOverTheParent) {
    std::vector<std::pair<HWND, HWND>> centred;
    SetCenterWindowSink([&](HWND child, HWND parent) {
        centred.emplace_back(child, parent);
        return TRUE;
    });
    SegmentRecord record{"Walk", 3, 40, 0, 100};
    SegmentDialogModel dialog(record);
    int window = 0, parent = 0;
    dialog.Controls().window = &window;
    dialog.Controls().parent = &parent;
    dialog.Initialise();
    SetCenterWindowSink(nullptr);
    EXPECT_EQ(dialog.Template().caption, "Animation Segment");
    EXPECT_EQ(dialog.Controls().At(segment::kName).text, "Walk");
    EXPECT_EQ(dialog.Controls().At(segment::kStart).text, "3");
    EXPECT_EQ(dialog.Controls().At(segment::kFinish).text, "40");
    EXPECT_EQ(dialog.Controls().At(segment::kFinishSpin).rangeHigh, 100);
    ASSERT_EQ(centred.size(), 1u);
    EXPECT_EQ(centred[0], (std::pair<HWND, HWND>{&window, &parent}));
}

TEST(SegmentDialogTest, OkReadsTheBoxesAndCancelLeavesTheRecord) {
    SegmentRecord record{"Walk", 3, 40, 0, 100};
    SegmentDialogModel dialog(record);
    dialog.Initialise();
    dialog.Controls().At(segment::kName).text = "Run";
    dialog.Controls().At(segment::kStart).text = "7";
    EXPECT_EQ(dialog.Command({IDC_CANCEL, Notification::Clicked}), IDC_CANCEL);
    EXPECT_EQ(record.name, "Walk");
    EXPECT_EQ(dialog.Command({segment::kName, Notification::TextChanged}), std::nullopt);
    EXPECT_EQ(dialog.Command({IDC_OK, Notification::Clicked}), IDC_OK);
    EXPECT_EQ(record.name, "Run");
    EXPECT_EQ(record.start, 7);
    EXPECT_EQ(record.finish, 40);
}

}  // namespace
}  // namespace tarvo::uitest
