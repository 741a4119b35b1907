#include "ui/DialogState.h"

#include <algorithm>
#include <cstdint>
#include <limits>

#include "settings/SettingsNumbers.h"

namespace tarvo::ui {

DialogState::DialogState(const DialogTemplate& dialog) {
    for (const ControlTemplate& control : dialog.controls) {
        if (control.id == IDC_STATIC) continue;
        ControlState state;
        state.kind = control.kind;
        state.text = control.text;
        state.visible = !control.hidden;
        state.enabled = !control.disabled;
        state.sorted = control.sorted;
        m_controls.emplace(control.id, std::move(state));
    }
}

void CheckDlgButton(DialogState& dialog, int id, bool checked) {
    dialog.At(id).checked = checked;
}

bool IsDlgButtonChecked(const DialogState& dialog, int id) {
    return dialog.At(id).checked;
}

void CheckRadioButton(DialogState& dialog, int first, int last, int check) {
    for (int id = first; id <= last; ++id) dialog.At(id).checked = id == check;
}

void CheckRadioPosition(DialogState& dialog, int first, int last, std::int32_t position) {
    const bool inGroup = position >= 0 && position <= last - first;
    CheckRadioButton(dialog, first, last, inGroup ? first + position : IDC_STATIC);
}

int CheckedRadioPosition(const DialogState& dialog, int first, int last) {
    for (int id = first; id <= last; ++id)
        if (dialog.At(id).checked) return id - first;
    return -1;
}

void EnableDlgItem(DialogState& dialog, int id, bool enabled) {
    dialog.At(id).enabled = enabled;
}

void SetDlgItemText(DialogState& dialog, int id, const std::string& text) {
    dialog.At(id).text = text;
}

const std::string& GetDlgItemText(const DialogState& dialog, int id) {
    return dialog.At(id).text;
}

std::int32_t GetDlgItemInt(const DialogState& dialog, int id) {
    const std::string& text = dialog.At(id).text;
    if (const std::optional<std::int32_t> number = ParseLeadingDecimal(text)) return *number;
    // Too long for 32 bits: the nearest value, on the side of its sign.
    const auto sign = text.find_first_not_of(" \t\r\n");
    const bool negative = sign != std::string::npos && text[sign] == '-';
    return negative ? std::numeric_limits<std::int32_t>::min()
                    : std::numeric_limits<std::int32_t>::max();
}

void SetDlgItemInt(DialogState& dialog, int id, std::int32_t value) {
    dialog.At(id).text = FormatDecimal(value);
}

void ComboResetContent(DialogState& dialog, int id) {
    ControlState& list = dialog.At(id);
    list.items.clear();
    list.itemData.clear();
    list.selection = kNoSelection;
}

int ComboAddString(DialogState& dialog, int id, const std::string& text) {
    ControlState& list = dialog.At(id);
    auto place = list.items.end();
    if (list.sorted) place = std::upper_bound(list.items.begin(), list.items.end(), text);
    const auto index = place - list.items.begin();
    list.items.insert(place, text);
    list.itemData.insert(list.itemData.begin() + index, 0);
    return static_cast<int>(index);
}

void ComboSetItemData(DialogState& dialog, int id, int index, std::int32_t data) {
    ControlState& list = dialog.At(id);
    if (index >= 0 && index < static_cast<int>(list.itemData.size())) list.itemData[index] = data;
}

std::int32_t ComboGetItemData(const DialogState& dialog, int id, int index) {
    const ControlState& list = dialog.At(id);
    if (index < 0 || index >= static_cast<int>(list.itemData.size())) return 0;
    return list.itemData[index];
}

void ComboSetCurSel(DialogState& dialog, int id, int index) {
    ControlState& list = dialog.At(id);
    const bool inList = index >= 0 && index < static_cast<int>(list.items.size());
    list.selection = inList ? index : kNoSelection;
}

int ComboGetCurSel(const DialogState& dialog, int id) {
    return dialog.At(id).selection;
}

void ListViewSetColumns(DialogState& dialog, int id, std::vector<ListColumn> columns) {
    dialog.At(id).columns = std::move(columns);
}

void ListViewDeleteAllItems(DialogState& dialog, int id) {
    ControlState& list = dialog.At(id);
    list.itemData.clear();
    list.selection = kNoSelection;
}

int ListViewInsertItem(DialogState& dialog, int id, int position, std::int32_t data) {
    ControlState& list = dialog.At(id);
    const int count = static_cast<int>(list.itemData.size());
    const int index = std::clamp(position, 0, count);
    list.itemData.insert(list.itemData.begin() + index, data);
    return index;
}

int ListViewGetItemCount(const DialogState& dialog, int id) {
    return static_cast<int>(dialog.At(id).itemData.size());
}

std::int32_t ListViewGetItemData(const DialogState& dialog, int id, int index) {
    const ControlState& list = dialog.At(id);
    if (index < 0 || index >= static_cast<int>(list.itemData.size())) return 0;
    return list.itemData[index];
}

int ListViewGetSelectionMark(const DialogState& dialog, int id) {
    return dialog.At(id).selection;
}

void ListViewSetSelectionMark(DialogState& dialog, int id, int index) {
    ControlState& list = dialog.At(id);
    const bool inList = index >= 0 && index < static_cast<int>(list.itemData.size());
    list.selection = inList ? index : kNoSelection;
}

void SpinSetRange(DialogState& dialog, int id, int low, int high) {
    ControlState& spin = dialog.At(id);
    spin.rangeLow = low;
    spin.rangeHigh = high;
}

}  // namespace tarvo::ui
