// The page procedures of each page, gathered into OptionPages() in the sheet's order, and
// the pieces several pages share.
#pragma once

#include <cstdint>
#include <string>

#include "ui/OptionPages.h"

namespace tarvo::ui {

extern const PageProcedure kObjectsPage;
extern const PageProcedure kMeshPage;
extern const PageProcedure kAnimationPage;
extern const PageProcedure kTexturesPage;
extern const PageProcedure kXFilePage;
extern const PageProcedure kAboutPage;

// For pages without commands or without list views.
inline void NoCommands(PageContext&, const ControlCommand&) {}
inline void NoEvent(PageContext&) {}
inline std::string NoItemText(const PageContext&, int, int, int) {
    return {};
}

// Fills a drop-down list with items in order and selects the item at `selected`.
template <std::size_t N>
void FillList(DialogState& controls, int id, const char* const (&items)[N], std::int32_t selected) {
    ComboResetContent(controls, id);
    for (const char* item : items) ComboAddString(controls, id, item);
    ComboSetCurSel(controls, id, selected);
}

// A confirmed choice in a list stores its index in the field at once.
inline void StoreListChoice(const DialogState& controls, int id, std::int32_t& field) {
    const int chosen = ComboGetCurSel(controls, id);
    if (chosen != kNoSelection) field = chosen;
}

// The position of the checked option button of a group stored in the field; a group with
// none checked leaves the field as it was.
inline void StoreRadioChoice(const DialogState& controls, int first, int last,
                             std::int32_t& field) {
    const int position = CheckedRadioPosition(controls, first, last);
    if (position >= 0) field = position;
}

}  // namespace tarvo::ui
