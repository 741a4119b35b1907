// The state of a dialog's controls while it is shown: what each control holds and whether
// it is enabled or visible. Page procedures read and change it through the operations
// below, named after the window messages they stand for; a toolkit draws it and writes the
// user's changes back into it before it reports a command.
#pragma once

#include <cstdint>
#include <map>
#include <string>
#include <vector>

#include "platform/win/WinTypes.h"
#include "ui/DialogTemplate.h"

namespace tarvo::ui {

// The value of a list or list-view selection when nothing is selected.
constexpr int kNoSelection = -1;

struct ListColumn {
    std::string title;
    int width = 0;  // pixels, as the list view takes them
};

struct ControlState {
    ControlKind kind = ControlKind::Label;
    bool visible = true;
    bool enabled = true;
    bool checked = false;  // check boxes and option buttons
    std::string text;      // labels, buttons and edit boxes
    // Drop-down lists: the items shown and a value carried by each. List views: the item
    // data of each row (its texts are asked of the dialog when they are drawn).
    std::vector<std::string> items;
    std::vector<std::int32_t> itemData;
    int selection = kNoSelection;  // a list's current item; a list view's selection mark
    bool sorted = false;
    std::vector<ListColumn> columns;  // list views
    bool fullRowSelect = false;
    int rangeLow = 0;  // spin buttons
    int rangeHigh = 100;
};

class DialogState {
  public:
    // Every control of the template that has an id, as the template starts it.
    explicit DialogState(const DialogTemplate& dialog);

    bool Has(int id) const { return m_controls.contains(id); }
    // The control with the id; throws std::out_of_range for an id the template lacks.
    ControlState& At(int id) { return m_controls.at(id); }
    const ControlState& At(int id) const { return m_controls.at(id); }
    const std::map<int, ControlState>& Controls() const { return m_controls; }

    HWND window = nullptr;  // the toolkit's window while the dialog is shown
    HWND parent = nullptr;
    int focus = IDC_STATIC;  // the control given the keyboard focus, if any

  private:
    std::map<int, ControlState> m_controls;
};

// ---- Buttons ----
void CheckDlgButton(DialogState& dialog, int id, bool checked);
bool IsDlgButtonChecked(const DialogState& dialog, int id);
// Checks `check` and clears every other option button from first to last; an id outside
// that span clears them all.
void CheckRadioButton(DialogState& dialog, int first, int last, int check);
// Checks the option button at `position` counted from first (clearing the others), or
// clears them all when the position lies outside the group.
void CheckRadioPosition(DialogState& dialog, int first, int last, std::int32_t position);
// The position of the checked option button from first to last, or -1 when none is.
int CheckedRadioPosition(const DialogState& dialog, int first, int last);
void EnableDlgItem(DialogState& dialog, int id, bool enabled);

// ---- Texts ----
void SetDlgItemText(DialogState& dialog, int id, const std::string& text);
const std::string& GetDlgItemText(const DialogState& dialog, int id);
// The control's text read as a leading decimal number: white space and a sign may come
// first, reading stops at the first other character, and text without digits reads as 0.
// A number beyond 32 bits reads as the nearest 32-bit value.
std::int32_t GetDlgItemInt(const DialogState& dialog, int id);
void SetDlgItemInt(DialogState& dialog, int id, std::int32_t value);

// ---- Drop-down lists ----
void ComboResetContent(DialogState& dialog, int id);
// Adds an item, in alphabetical place in a sorted list, else at the end; returns its index.
int ComboAddString(DialogState& dialog, int id, const std::string& text);
void ComboSetItemData(DialogState& dialog, int id, int index, std::int32_t data);
std::int32_t ComboGetItemData(const DialogState& dialog, int id, int index);
// Selects an item; an index outside the list leaves none selected.
void ComboSetCurSel(DialogState& dialog, int id, int index);
int ComboGetCurSel(const DialogState& dialog, int id);

// ---- List views ----
void ListViewSetColumns(DialogState& dialog, int id, std::vector<ListColumn> columns);
void ListViewDeleteAllItems(DialogState& dialog, int id);
// Inserts a row at a position (clamped to the end) with its item data; returns its index.
int ListViewInsertItem(DialogState& dialog, int id, int position, std::int32_t data);
int ListViewGetItemCount(const DialogState& dialog, int id);
std::int32_t ListViewGetItemData(const DialogState& dialog, int id, int index);
int ListViewGetSelectionMark(const DialogState& dialog, int id);
void ListViewSetSelectionMark(DialogState& dialog, int id, int index);

// ---- Spin buttons ----
void SpinSetRange(DialogState& dialog, int id, int low, int high);

}  // namespace tarvo::ui
