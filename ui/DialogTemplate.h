// Dialog templates as data: what a resource script would hold for each dialog and option
// page (its id, caption and size, and each control's id, kind, text, place and starting
// style). The option pages' procedures and the toolkit that draws them both read these.
#pragma once

#include <string>
#include <vector>

namespace tarvo::ui {

// The id of a control that no procedure addresses: labels, group boxes, pictures.
constexpr int IDC_STATIC = -1;

enum class ControlKind {
    GroupBox,
    Label,
    Bitmap,  // a picture; the text names the bitmap resource by number
    CheckBox,
    RadioButton,
    PushButton,
    DefaultPushButton,
    Edit,
    NumberEdit,    // an edit box that takes digits only
    DropDownList,  // a combo box whose text cannot be typed in
    ListView,      // report view: rows of columns
    SpinButton,    // up-down arrows bound to the control placed before it
};

// In dialog units: a quarter of the dialog font's average character width across and an
// eighth of its height down, so that a page keeps its proportions at any font size.
struct DialogRect {
    int x = 0;
    int y = 0;
    int width = 0;
    int height = 0;
};

struct ControlTemplate {
    int id = IDC_STATIC;
    ControlKind kind = ControlKind::Label;
    std::string text;
    DialogRect rect;
    bool groupStart = false;  // the first option button of a group; the group runs to the next
    bool hidden = false;
    bool disabled = false;
    bool sorted = false;  // a list that keeps its items in alphabetical order
};

struct DialogTemplate {
    int id = 0;
    std::string caption;  // "&&" stands for one ampersand, as in every control text
    int width = 0;        // dialog units
    int height = 0;
    std::vector<ControlTemplate> controls;
};

// The template with the given id; null for an id the module does not hold.
const DialogTemplate* FindDialogTemplate(int id);

}  // namespace tarvo::ui
