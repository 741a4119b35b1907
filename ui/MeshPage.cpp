// Page 2, "Mesh": what each mesh carries and how its vertices are shared.
#include <utility>

#include "ui/PageProcedures.h"
#include "ui/ResourceIds.h"

namespace tarvo::ui {
namespace {

using namespace mesh;

const std::pair<int, std::int32_t ExportOptions::*> kBoxes[] = {
    {kNormals, &ExportOptions::normals},
    {kFlipNormals, &ExportOptions::flipNormals},
    {kCustomNormals, &ExportOptions::customNormals},
    {kMappingCoords, &ExportOptions::textureCoords},
    {kVertexColors, &ExportOptions::vertexColors},
    {kLocalObjectSpace, &ExportOptions::localObjectSpace},
};

// By optMesh value; the list is sorted, and this order is already alphabetical.
constexpr const char* kOptimizeItems[] = {"None", "Normal", "Optimized"};

// The parts of a mesh that exist only when meshes are written at all ("Flip normals" and
// "Use custom normals" stay available).
void EnableMeshParts(PageContext& page) {
    const bool meshes = page.options.exportMesh != 0;
    for (int id : {kNormals, kMappingCoords, kVertexColors})
        EnableDlgItem(page.controls, id, meshes);
}

void Initialise(PageContext& page) {
    for (const auto& [id, field] : kBoxes)
        CheckDlgButton(page.controls, id, page.options.*field != 0);
    FillList(page.controls, kOptimize, kOptimizeItems, page.options.optMesh);
    EnableMeshParts(page);
}

void SetActive(PageContext& page) {
    EnableMeshParts(page);
    // Object space only means something when meshes stand at the top level.
    EnableDlgItem(page.controls, kLocalObjectSpace,
                  page.options.frameSetting < kFrameSettingTopFrameOnly);
}

void KillActive(PageContext& page) {
    for (const auto& [id, field] : kBoxes)
        page.options.*field = IsDlgButtonChecked(page.controls, id) ? 1 : 0;
}

void Command(PageContext& page, const ControlCommand& command) {
    if (command.id == kOptimize && command.code == Notification::SelectionConfirmed)
        StoreListChoice(page.controls, kOptimize, page.options.optMesh);
}

}  // namespace

const PageProcedure kMeshPage = {IDD_MESH_PAGE, Initialise, SetActive,
                                 KillActive,    Command,    NoItemText};

}  // namespace tarvo::ui
