// The module's dialog templates: the six option pages, the About box (which shares the
// About page's template) and the segment dialog. Texts are exactly as the pages have always
// shown them; places and sizes are in dialog units.
#include <array>

#include "ui/DialogTemplate.h"
#include "ui/ResourceIds.h"

namespace tarvo::ui {
namespace {

// Heights of one line of each kind of control, in dialog units.
constexpr int kLineHeight = 10;
constexpr int kLabelHeight = 8;
constexpr int kEditHeight = 12;
constexpr int kButtonHeight = 14;
constexpr int kPageWidth = 310;
constexpr int kPageHeight = 205;

ControlTemplate Group(std::string text, DialogRect rect) {
    return {IDC_STATIC, ControlKind::GroupBox, std::move(text), rect};
}
ControlTemplate Label(std::string text, int x, int y, int width, int lines = 1) {
    return {IDC_STATIC, ControlKind::Label, std::move(text), {x, y, width, lines * kLabelHeight}};
}
ControlTemplate Text(int id, std::string text, int x, int y, int width, int lines = 1) {
    return {id, ControlKind::Label, std::move(text), {x, y, width, lines * kLabelHeight}};
}
ControlTemplate Check(int id, std::string text, int x, int y, int width) {
    return {id, ControlKind::CheckBox, std::move(text), {x, y, width, kLineHeight}};
}
ControlTemplate Option(int id, std::string text, int x, int y, int width, bool first = false) {
    ControlTemplate option{
        id, ControlKind::RadioButton, std::move(text), {x, y, width, kLineHeight}};
    option.groupStart = first;
    return option;
}
ControlTemplate Button(int id, std::string text, int x, int y, int width = 50) {
    return {id, ControlKind::PushButton, std::move(text), {x, y, width, kButtonHeight}};
}
ControlTemplate List(int id, int x, int y, int width, bool sorted = false) {
    ControlTemplate list{id, ControlKind::DropDownList, "", {x, y, width, kEditHeight}};
    list.sorted = sorted;
    return list;
}
ControlTemplate Edit(int id, ControlKind kind, int x, int y, int width) {
    return {id, kind, "", {x, y, width, kEditHeight}};
}
// A control the page keeps for its stored value but never lets the user reach.
ControlTemplate HiddenAndDisabled(ControlTemplate control) {
    control.hidden = true;
    control.disabled = true;
    return control;
}

DialogTemplate ObjectsPage() {
    using namespace objects;
    return {IDD_OBJECTS_PAGE,
            "3DS Max Objects",
            kPageWidth,
            kPageHeight,
            {
                Group("Output Options", {7, 7, 296, 104}),
                Check(kMeshDefinition, "Mesh definition", 15, 20, 120),
                Check(kMaterials, "Materials", 15, 34, 60),
                Check(kInline, "Inline", 85, 34, 60),
                Check(kAnimation, "Include Animation (requires sub-frames)", 15, 48, 200),
                Check(kBones, "Bones", 15, 62, 120),
                Check(kSaveInScene, "Save settings in scene", 15, 76, 150),
                HiddenAndDisabled(Check(kAnimatedMesh, "Animated Mesh", 15, 90, 120)),
                Group("Object Types", {7, 117, 296, 48}),
                Check(kGeometric, "Geometric", 15, 130, 120),
                Check(kDummy, "Dummy", 15, 144, 120),
                HiddenAndDisabled(
                    Check(kAnimatedCameraLight, "Animated Camera/Light Settings", 15, 172, 150)),
            }};
}

DialogTemplate MeshPage() {
    using namespace mesh;
    return {IDD_MESH_PAGE,
            "Mesh",
            kPageWidth,
            kPageHeight,
            {
                Group("Mesh Options", {7, 7, 296, 130}),
                Check(kNormals, "Mesh normals", 15, 20, 150),
                Check(kFlipNormals, "Flip normals", 15, 34, 150),
                Check(kCustomNormals, "Use custom normals", 15, 48, 150),
                Check(kMappingCoords, "Mapping coordinates", 15, 62, 150),
                Check(kVertexColors, "Vertex colors", 15, 76, 150),
                Check(kLocalObjectSpace, "Use local object space", 15, 90, 150),
                Label("Optimize mesh", 15, 112, 60),
                List(kOptimize, 80, 110, 90, true),
            }};
}

DialogTemplate AnimationPage() {
    using namespace animation;
    return {IDD_ANIMATION_PAGE,
            "Animation",
            kPageWidth,
            kPageHeight,
            {
                {kSegments, ControlKind::ListView, "", {7, 7, 296, 80}},
                Button(kAdd, "Add...", 7, 91),
                Button(kEdit, "Edit...", 61, 91),
                Button(kDelete, "Delete", 115, 91),
                Group("Animation Method", {7, 111, 145, 40}),
                Option(kSampled, "Sampled", 15, 123, 130, true),
                Option(kKeyFramesOnly, "Key Frames Only", 15, 136, 130),
                Group("Key Options", {158, 111, 145, 40}),
                Option(kMatrix, "Matrix", 166, 123, 130, true),
                Option(kSeparateKeys, "Position, Scale && Rotate", 166, 136, 130),
                Group("Timeline", {7, 155, 145, 40}),
                Option(kTicks, "3DS Max ticks", 15, 167, 130, true),
                Option(kKeySequence, "Key Seq.", 15, 180, 130),
                Label("Animation Sampling Rate:", 158, 160, 95),
                Edit(kSamplingRate, ControlKind::NumberEdit, 258, 158, 40),
                Text(kKeys, "Keys:", 158, 176, 145),
                Text(kLength, "Length:", 158, 188, 145),
            }};
}

DialogTemplate TexturesPage() {
    using namespace textures;
    return {IDD_TEXTURES_PAGE,
            "Textures && .fx files",
            kPageWidth,
            kPageHeight,
            {
                Group("Texture Conversion", {7, 7, 296, 130}),
                Option(kNoConversion, "None", 15, 20, 120, true),
                Option(kConvert, "Convert texture Map", 15, 33, 120),
                Option(kCopy, "Copy texture map", 15, 46, 120),
                Label("Format:", 15, 64, 40),
                List(kFormat, 60, 62, 90),
                Check(kFullPath, "Use full pathname", 15, 80, 170),
                Check(kScale, "Scale texture to nearest power of 2", 15, 93, 170),
                Check(kWhiteDiffuse, "White diffuse override (texture)", 15, 106, 170),
                Label("Overwrite:", 15, 122, 40),
                List(kOverwrite, 60, 120, 90),
                Group(".fx Effect Files", {7, 143, 296, 44}),
                Check(kFxFile, "Include .fx file", 15, 156, 150),
                Check(kFxParameters, "Include .fx parameters", 15, 170, 150),
            }};
}

DialogTemplate XFilePage() {
    using namespace xfile;
    return {IDD_XFILE_PAGE,
            "X File Settings",
            kPageWidth,
            kPageHeight,
            {
                Group("DX File Type", {7, 7, 145, 56}),
                Option(kText, "Text", 15, 20, 130, true),
                Option(kBinary, "Binary", 15, 33, 130),
                Option(kCompressed, "Binary with Compression", 15, 46, 130),
                Group("DX Frame", {158, 7, 145, 56}),
                Option(kNoFrames, "No frames", 166, 20, 130, true),
                Option(kTopFrameOnly, "Top frame only", 166, 33, 130),
                Option(kSubFrames, "Sub frame hierarchy", 166, 46, 130),
                Group("Coordinate System", {7, 69, 296, 28}),
                Check(kLeftHanded, "Left Handed Axis", 15, 81, 150),
                Group("XFile Animation Options", {7, 103, 296, 66}),
                Check(kAnimationOptions, "Include Animation options", 15, 116, 150),
                Label("Type", 15, 134, 50),
                List(kOpenClosed, 70, 132, 90),
                Label("Pos. Quality", 15, 152, 50),
                List(kPositionQuality, 70, 150, 90),
            }};
}

DialogTemplate AboutPage() {
    using namespace about;
    return {IDD_ABOUT,
            "About...",
            kPageWidth,
            kPageHeight,
            {
                {IDC_STATIC, ControlKind::Bitmap, "114", {7, 7, 296, 56}},
                Label("Tarvo DirectX writes the host's scenes as DirectX .X files.", 7, 70, 296),
                Label("Help: the user guide in the docs folder beside the plug-in.", 7, 82, 296),
                Text(kMaxVersion, "3DS Max Version:", 7, 102, 296),
                Text(kIGameVersion, "IGame Version:", 7, 114, 296),
                Text(kCfgPath, "Cfg Path:", 7, 126, 296, 3),
            }};
}

DialogTemplate SegmentDialog() {
    using namespace segment;
    return {IDD_SEGMENT,
            "Animation Segment",
            170,
            82,
            {
                Label("Name:", 7, 9, 30),
                Edit(kName, ControlKind::Edit, 40, 7, 123),
                Label("Start:", 7, 27, 30),
                Edit(kStart, ControlKind::NumberEdit, 40, 25, 50),
                {kStartSpin, ControlKind::SpinButton, "", {90, 25, 10, kEditHeight}},
                Label("Finish:", 7, 45, 30),
                Edit(kFinish, ControlKind::NumberEdit, 40, 43, 50),
                {kFinishSpin, ControlKind::SpinButton, "", {90, 43, 10, kEditHeight}},
                {IDC_OK, ControlKind::DefaultPushButton, "OK", {59, 62, 50, kButtonHeight}},
                Button(IDC_CANCEL, "Cancel", 113, 62),
            }};
}

const std::array<DialogTemplate, 7>& Templates() {
    static const std::array<DialogTemplate, 7> templates = {
        ObjectsPage(), MeshPage(),  AnimationPage(), TexturesPage(),
        XFilePage(),   AboutPage(), SegmentDialog(),
    };
    return templates;
}

}  // namespace

const DialogTemplate* FindDialogTemplate(int id) {
    for (const DialogTemplate& dialog : Templates())
        if (dialog.id == id) return &dialog;
    return nullptr;
}

}  // namespace tarvo::ui
