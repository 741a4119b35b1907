// The templates as data: ids, captions, each control's kind and text, group boxes and
// labels, and what starts hidden or disabled.
#include <gtest/gtest.h>

#include <algorithm>

#include "ui/DialogState.h"
#include "ui/OptionPages.h"
#include "ui/ResourceIds.h"

namespace tarvo::ui {
namespace {

const ControlTemplate* FindControl(const DialogTemplate& dialog, int id) {
    for (const ControlTemplate& control : dialog.controls)
        if (control.id == id) return &control;
    return nullptr;
}

// The texts of the controls of one kind, in template order.
std::vector<std::string> TextsOf(const DialogTemplate& dialog, ControlKind kind) {
    std::vector<std::string> texts;
    for (const ControlTemplate& control : dialog.controls)
        if (control.kind == kind) texts.push_back(control.text);
    return texts;
}

void ExpectControl(int templateId, int id, ControlKind kind, const std::string& text) {
    const ControlTemplate* control = FindControl(RequireTemplate(templateId), id);
    ASSERT_NE(control, nullptr) << "template " << templateId << " control " << id;
    EXPECT_EQ(control->kind, kind) << "template " << templateId << " control " << id;
    EXPECT_EQ(control->text, text) << "template " << templateId << " control " << id;
}

using K = ControlKind;

TEST(DialogTemplatesTest, EveryTemplateOfTheModuleIsThere) {
    for (int id : {101, 102, 104, 105, 106, 108, 119})
        EXPECT_NE(FindDialogTemplate(id), nullptr) << id;
    EXPECT_EQ(FindDialogTemplate(103), nullptr);
    EXPECT_THROW(RequireTemplate(103), std::logic_error);
}

TEST(DialogTemplatesTest, ObjectsPageControls) {
    using namespace objects;
    ExpectControl(101, kMeshDefinition, K::CheckBox, "Mesh definition");
    ExpectControl(101, kMaterials, K::CheckBox, "Materials");
    ExpectControl(101, kInline, K::CheckBox, "Inline");
    ExpectControl(101, kAnimation, K::CheckBox, "Include Animation (requires sub-frames)");
    ExpectControl(101, kBones, K::CheckBox, "Bones");
    ExpectControl(101, kGeometric, K::CheckBox, "Geometric");
    ExpectControl(101, kDummy, K::CheckBox, "Dummy");
    ExpectControl(101, kSaveInScene, K::CheckBox, "Save settings in scene");
    ExpectControl(101, kAnimatedMesh, K::CheckBox, "Animated Mesh");
    ExpectControl(101, kAnimatedCameraLight, K::CheckBox, "Animated Camera/Light Settings");
    const DialogTemplate& page = RequireTemplate(101);
    EXPECT_EQ(TextsOf(page, K::GroupBox),
              (std::vector<std::string>{"Output Options", "Object Types"}));
    for (const ControlTemplate& control : page.controls) {
        const bool hiddenOne = control.id == kAnimatedMesh || control.id == kAnimatedCameraLight;
        EXPECT_EQ(control.hidden, hiddenOne) << control.id;
        EXPECT_EQ(control.disabled, hiddenOne) << control.id;
    }
}

TEST(DialogTemplatesTest, MeshPageControls) {
    using namespace mesh;
    ExpectControl(119, kNormals, K::CheckBox, "Mesh normals");
    ExpectControl(119, kFlipNormals, K::CheckBox, "Flip normals");
    ExpectControl(119, kCustomNormals, K::CheckBox, "Use custom normals");
    ExpectControl(119, kMappingCoords, K::CheckBox, "Mapping coordinates");
    ExpectControl(119, kVertexColors, K::CheckBox, "Vertex colors");
    ExpectControl(119, kLocalObjectSpace, K::CheckBox, "Use local object space");
    ExpectControl(119, kOptimize, K::DropDownList, "");
    EXPECT_TRUE(FindControl(RequireTemplate(119), kOptimize)->sorted);
    EXPECT_EQ(TextsOf(RequireTemplate(119), K::GroupBox),
              (std::vector<std::string>{"Mesh Options"}));
    EXPECT_EQ(TextsOf(RequireTemplate(119), K::Label), (std::vector<std::string>{"Optimize mesh"}));
}

TEST(DialogTemplatesTest, AnimationPageControls) {
    using namespace animation;
    ExpectControl(105, kSegments, K::ListView, "");
    ExpectControl(105, kAdd, K::PushButton, "Add...");
    ExpectControl(105, kEdit, K::PushButton, "Edit...");
    ExpectControl(105, kDelete, K::PushButton, "Delete");
    ExpectControl(105, kSampled, K::RadioButton, "Sampled");
    ExpectControl(105, kKeyFramesOnly, K::RadioButton, "Key Frames Only");
    ExpectControl(105, kMatrix, K::RadioButton, "Matrix");
    ExpectControl(105, kSeparateKeys, K::RadioButton, "Position, Scale && Rotate");
    ExpectControl(105, kTicks, K::RadioButton, "3DS Max ticks");
    ExpectControl(105, kKeySequence, K::RadioButton, "Key Seq.");
    ExpectControl(105, kSamplingRate, K::NumberEdit, "");
    ExpectControl(105, kKeys, K::Label, "Keys:");
    ExpectControl(105, kLength, K::Label, "Length:");
    const DialogTemplate& page = RequireTemplate(105);
    EXPECT_EQ(TextsOf(page, K::GroupBox),
              (std::vector<std::string>{"Animation Method", "Key Options", "Timeline"}));
    EXPECT_EQ(TextsOf(page, K::Label),
              (std::vector<std::string>{"Animation Sampling Rate:", "Keys:", "Length:"}));
    // Each pair is a group of its own.
    for (int first : {kSampled, kMatrix, kTicks}) EXPECT_TRUE(FindControl(page, first)->groupStart);
    for (int second : {kKeyFramesOnly, kSeparateKeys, kKeySequence})
        EXPECT_FALSE(FindControl(page, second)->groupStart);
}

TEST(DialogTemplatesTest, TexturesPageControls) {
    using namespace textures;
    EXPECT_EQ(RequireTemplate(106).caption, "Textures && .fx files");
    ExpectControl(106, kNoConversion, K::RadioButton, "None");
    ExpectControl(106, kConvert, K::RadioButton, "Convert texture Map");
    ExpectControl(106, kCopy, K::RadioButton, "Copy texture map");
    ExpectControl(106, kFormat, K::DropDownList, "");
    ExpectControl(106, kFullPath, K::CheckBox, "Use full pathname");
    ExpectControl(106, kScale, K::CheckBox, "Scale texture to nearest power of 2");
    ExpectControl(106, kWhiteDiffuse, K::CheckBox, "White diffuse override (texture)");
    ExpectControl(106, kOverwrite, K::DropDownList, "");
    ExpectControl(106, kFxFile, K::CheckBox, "Include .fx file");
    ExpectControl(106, kFxParameters, K::CheckBox, "Include .fx parameters");
    EXPECT_EQ(TextsOf(RequireTemplate(106), K::GroupBox),
              (std::vector<std::string>{"Texture Conversion", ".fx Effect Files"}));
    EXPECT_EQ(TextsOf(RequireTemplate(106), K::Label),
              (std::vector<std::string>{"Format:", "Overwrite:"}));
}

TEST(DialogTemplatesTest, XFilePageControls) {
    using namespace xfile;
    ExpectControl(104, kText, K::RadioButton, "Text");
    ExpectControl(104, kBinary, K::RadioButton, "Binary");
    ExpectControl(104, kCompressed, K::RadioButton, "Binary with Compression");
    ExpectControl(104, kNoFrames, K::RadioButton, "No frames");
    ExpectControl(104, kTopFrameOnly, K::RadioButton, "Top frame only");
    ExpectControl(104, kSubFrames, K::RadioButton, "Sub frame hierarchy");
    ExpectControl(104, kLeftHanded, K::CheckBox, "Left Handed Axis");
    ExpectControl(104, kAnimationOptions, K::CheckBox, "Include Animation options");
    ExpectControl(104, kOpenClosed, K::DropDownList, "");
    ExpectControl(104, kPositionQuality, K::DropDownList, "");
    EXPECT_EQ(TextsOf(RequireTemplate(104), K::GroupBox),
              (std::vector<std::string>{"DX File Type", "DX Frame", "Coordinate System",
                                        "XFile Animation Options"}));
    EXPECT_EQ(TextsOf(RequireTemplate(104), K::Label),
              (std::vector<std::string>{"Type", "Pos. Quality"}));
}

TEST(DialogTemplatesTest, AboutTemplateShowsTheBannerAndThreeTexts) {
    const DialogTemplate& about = RequireTemplate(102);
    EXPECT_EQ(about.caption, "About...");
    EXPECT_EQ(TextsOf(about, K::Bitmap), (std::vector<std::string>{"114"}));
    for (int id : {about::kMaxVersion, about::kIGameVersion, about::kCfgPath})
        EXPECT_NE(FindControl(about, id), nullptr) << id;
    EXPECT_EQ(std::count_if(about.controls.begin(), about.controls.end(),
                            [](const ControlTemplate& c) {
                                return c.kind == K::PushButton || c.kind == K::DefaultPushButton;
                            }),
              0)
        << "the About box has no buttons";
}

TEST(DialogTemplatesTest, SegmentDialogControls) {
    using namespace segment;
    EXPECT_EQ(RequireTemplate(108).caption, "Animation Segment");
    ExpectControl(108, kName, K::Edit, "");
    ExpectControl(108, kStart, K::NumberEdit, "");
    ExpectControl(108, kStartSpin, K::SpinButton, "");
    ExpectControl(108, kFinish, K::NumberEdit, "");
    ExpectControl(108, kFinishSpin, K::SpinButton, "");
    ExpectControl(108, IDC_OK, K::DefaultPushButton, "OK");
    ExpectControl(108, IDC_CANCEL, K::PushButton, "Cancel");
    EXPECT_EQ(TextsOf(RequireTemplate(108), K::Label),
              (std::vector<std::string>{"Name:", "Start:", "Finish:"}));
    // Each spin button follows the box it sets.
    const auto& controls = RequireTemplate(108).controls;
    for (const auto& pair : {std::pair{kStart, kStartSpin}, std::pair{kFinish, kFinishSpin}}) {
        const int box = pair.first, spin = pair.second;
        auto at = std::find_if(controls.begin(), controls.end(),
                               [spin](const ControlTemplate& c) { return c.id == spin; });
        ASSERT_NE(at, controls.begin());
        EXPECT_EQ((at - 1)->id, box);
    }
}

TEST(DialogTemplatesTest, EveryControlLiesInsideItsDialog) {
    for (int id : {101, 102, 104, 105, 106, 108, 119}) {
        const DialogTemplate& dialog = RequireTemplate(id);
        for (const ControlTemplate& control : dialog.controls) {
            EXPECT_GE(control.rect.x, 0) << id << " " << control.text;
            EXPECT_GE(control.rect.y, 0) << id << " " << control.text;
            EXPECT_LE(control.rect.x + control.rect.width, dialog.width)
                << id << " " << control.text;
            EXPECT_LE(control.rect.y + control.rect.height, dialog.height)
                << id << " " << control.text;
        }
    }
}

// ---- Control state ----

TEST(DialogStateTest, StartsFromTheTemplate) {
    DialogState page(RequireTemplate(101));
    EXPECT_FALSE(page.Has(IDC_STATIC));
    EXPECT_FALSE(page.At(objects::kAnimatedMesh).visible);
    EXPECT_TRUE(page.At(objects::kBones).enabled);
    EXPECT_EQ(page.At(objects::kBones).text, "Bones");
    EXPECT_THROW(page.At(4242), std::out_of_range);
}

TEST(DialogStateTest, ASortedListPlacesItemsAlphabetically) {
    DialogState page(RequireTemplate(119));
    for (const char* item : {"Optimized", "None", "Normal"})
        ComboAddString(page, mesh::kOptimize, item);
    EXPECT_EQ(page.At(mesh::kOptimize).items,
              (std::vector<std::string>{"None", "Normal", "Optimized"}));
    ComboSetCurSel(page, mesh::kOptimize, 3);
    EXPECT_EQ(ComboGetCurSel(page, mesh::kOptimize), kNoSelection);
}

TEST(DialogStateTest, NumbersReadFromTextSaturateAtThirtyTwoBits) {
    DialogState dialog(RequireTemplate(108));
    const std::pair<const char*, std::int32_t> cases[] = {
        {"42", 42},
        {"  -7", -7},
        {"12abc", 12},
        {"", 0},
        {"x1", 0},
        {"99999999999", 2147483647},
        {"-99999999999", -2147483647 - 1},
    };
    for (const auto& [text, value] : cases) {
        SetDlgItemText(dialog, segment::kStart, text);
        EXPECT_EQ(GetDlgItemInt(dialog, segment::kStart), value) << '"' << text << '"';
    }
}

TEST(DialogStateTest, RadioPositionsOutsideTheGroupCheckNothing) {
    DialogState page(RequireTemplate(104));
    CheckRadioPosition(page, xfile::kText, xfile::kCompressed, 1);
    EXPECT_EQ(CheckedRadioPosition(page, xfile::kText, xfile::kCompressed), 1);
    CheckRadioPosition(page, xfile::kText, xfile::kCompressed, 2147483647);
    EXPECT_EQ(CheckedRadioPosition(page, xfile::kText, xfile::kCompressed), -1);
    EXPECT_FALSE(page.At(xfile::kNoFrames).checked) << "the next group is not touched";
}

// ---- The About box ----

TEST(AboutBoxTest, ShowsTheReleaseAndClosesOnOkOrCancel) {
    AboutBoxModel about(14);
    about.Initialise();
    EXPECT_EQ(about.Template().id, 102);
    EXPECT_EQ(about.Controls().At(about::kMaxVersion).text, "3DS Max Version: 14");
    EXPECT_EQ(about.Controls().At(about::kIGameVersion).text, "IGame Version:");
    EXPECT_EQ(about.Command({IDC_OK, Notification::Clicked}), IDC_OK);
    EXPECT_EQ(about.Command({IDC_CANCEL, Notification::Clicked}), IDC_CANCEL);
    EXPECT_EQ(about.Command({about::kCfgPath, Notification::Clicked}), std::nullopt);
}

}  // namespace
}  // namespace tarvo::ui
