// Page 4, "Textures && .fx files": how texture images are converted and whether effect
// files are named.
#include <utility>

#include "material/Materials.h"
#include "ui/PageProcedures.h"
#include "ui/ResourceIds.h"

namespace tarvo::ui {
namespace {

using namespace textures;

const std::pair<int, std::int32_t ExportOptions::*> kBoxes[] = {
    {kFullPath, &ExportOptions::texFullPath},     {kScale, &ExportOptions::texScale},
    {kWhiteDiffuse, &ExportOptions::whiteTex},    {kFxFile, &ExportOptions::fxFiles},
    {kFxParameters, &ExportOptions::getFxParams},
};

// By overwriteTex value.
constexpr const char* kOverwriteItems[] = {"Do not overwrite", "Always overwrite"};

// The table's rows in order, each carrying its code; the row of textureFormat is selected,
// the first row when no row has that code (the field keeps its value until a row is
// chosen).
void FillFormats(PageContext& page) {
    ComboResetContent(page.controls, kFormat);
    int selected = 0;
    for (const TextureFormatRow& row : TextureFormatTable) {
        const int index = ComboAddString(page.controls, kFormat, row.label);
        ComboSetItemData(page.controls, kFormat, index, row.code);
        if (row.code == page.options.textureFormat) selected = index;
    }
    ComboSetCurSel(page.controls, kFormat, selected);
}

void EnableFxParameters(PageContext& page, bool fxFiles) {
    EnableDlgItem(page.controls, kFxParameters, fxFiles);
}

void Initialise(PageContext& page) {
    CheckRadioPosition(page.controls, kNoConversion, kCopy, page.options.texMapConv);
    for (const auto& [id, field] : kBoxes)
        CheckDlgButton(page.controls, id, page.options.*field != 0);
    FillFormats(page);
    FillList(page.controls, kOverwrite, kOverwriteItems, page.options.overwriteTex);
    page.controls.focus = kFormat;
}

void SetActive(PageContext& page) {
    EnableFxParameters(page, page.options.fxFiles != 0);
}

void KillActive(PageContext& page) {
    StoreRadioChoice(page.controls, kNoConversion, kCopy, page.options.texMapConv);
    for (const auto& [id, field] : kBoxes)
        page.options.*field = IsDlgButtonChecked(page.controls, id) ? 1 : 0;
}

void Command(PageContext& page, const ControlCommand& command) {
    if (command.id == kFxFile && command.code == Notification::Clicked) {
        EnableFxParameters(page, IsDlgButtonChecked(page.controls, kFxFile));
    } else if (command.id == kFormat && command.code == Notification::SelectionConfirmed) {
        const int chosen = ComboGetCurSel(page.controls, kFormat);
        if (chosen != kNoSelection)
            page.options.textureFormat = ComboGetItemData(page.controls, kFormat, chosen);
    } else if (command.id == kOverwrite && command.code == Notification::SelectionConfirmed) {
        StoreListChoice(page.controls, kOverwrite, page.options.overwriteTex);
    }
}

}  // namespace

const PageProcedure kTexturesPage = {IDD_TEXTURES_PAGE, Initialise, SetActive,
                                     KillActive,        Command,    NoItemText};

}  // namespace tarvo::ui
