// Page 1, "3DS Max Objects": which parts of the scene are written.
#include <utility>

#include "ui/OptionPages.h"
#include "ui/PageProcedures.h"
#include "ui/ResourceIds.h"

namespace tarvo::ui {
namespace {

using namespace objects;

// Each box and the field it shows, stored when the page is left.
const std::pair<int, std::int32_t ExportOptions::*> kBoxes[] = {
    {kMeshDefinition, &ExportOptions::exportMesh},
    {kMaterials, &ExportOptions::exportMaterials},
    {kInline, &ExportOptions::inlineMaterials},
    {kAnimation, &ExportOptions::exportAnimation},
    {kBones, &ExportOptions::skinning},
    {kGeometric, &ExportOptions::exportGeom},
    {kDummy, &ExportOptions::exportDummy},
    {kSaveInScene, &ExportOptions::saveSettingsInScene},
    // Hidden: they keep what initialisation gave them.
    {kAnimatedMesh, &ExportOptions::meshAnim},
    {kAnimatedCameraLight, &ExportOptions::animCameraLight},
};

// Values the page has no box for; leaving the page clears them.
constexpr std::int32_t ExportOptions::*kClearedOnLeave[] = {
    &ExportOptions::exportHelper,  &ExportOptions::legacyFlagA,   &ExportOptions::legacyObjectB,
    &ExportOptions::legacyObjectC, &ExportOptions::legacyObjectD,
};

void Initialise(PageContext& page) {
    for (const auto& [id, field] : kBoxes)
        CheckDlgButton(page.controls, id, page.options.*field != 0);
    // Decided once: ticking "Materials" later leaves "Inline" as it is.
    EnableDlgItem(page.controls, kInline, page.options.exportMaterials != 0);
}

void SetActive(PageContext& page) {
    // Animation needs frames; the frame mode is chosen on the X File page.
    EnableDlgItem(page.controls, kAnimation, page.options.frameSetting != kFrameSettingNoFrames);
}

void KillActive(PageContext& page) {
    for (const auto& [id, field] : kBoxes)
        page.options.*field = IsDlgButtonChecked(page.controls, id) ? 1 : 0;
    for (std::int32_t ExportOptions::*field : kClearedOnLeave) page.options.*field = 0;
}

}  // namespace

const PageProcedure kObjectsPage = {IDD_OBJECTS_PAGE, Initialise, SetActive,
                                    KillActive,       NoCommands, NoItemText};

}  // namespace tarvo::ui
