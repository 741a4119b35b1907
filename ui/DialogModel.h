// What a windowing toolkit sees of the dialogs: a dialog is a template, the state of its
// controls, and a procedure that answers the user's commands; the options sheet is six such
// pages that are told when the user moves between them and when the sheet is accepted.
// The toolkit only draws: it shows the state, writes what the user changed back into it,
// and reports the command. Every decision is taken behind these interfaces.
#pragma once

#include <functional>
#include <optional>
#include <string>

#include "platform/win/WinTypes.h"
#include "ui/DialogState.h"

namespace tarvo::ui {

enum class Notification {
    Clicked,             // a button, check box or option button was clicked
    SelectionConfirmed,  // the user chose an item of a drop-down list
    TextChanged,         // the user changed an edit box's text
};

struct ControlCommand {
    int id = IDC_STATIC;
    Notification code = Notification::Clicked;
};

class DialogModel {
  public:
    virtual ~DialogModel() = default;
    virtual const DialogTemplate& Template() const = 0;
    virtual DialogState& Controls() = 0;
    // Fills the controls; the toolkit has set Controls().window and parent first.
    virtual void Initialise() = 0;
    // The toolkit has already stored the user's change in Controls(). Returns the dialog's
    // result when the command ends the dialog.
    virtual std::optional<INT_PTR> Command(const ControlCommand& command) = 0;
    // The text of one cell of a list view, asked for whenever the cell is drawn.
    virtual std::string ItemText(int id, int item, int column) const = 0;
};

// Shows a dialog modally over a parent window and returns its result.
using ModalRunner = std::function<INT_PTR(DialogModel& dialog, HWND parent)>;

class PropertySheetModel {
  public:
    virtual ~PropertySheetModel() = default;
    virtual const std::string& Caption() const = 0;
    virtual int PageCount() const = 0;
    virtual DialogModel& Page(int index) = 0;
    virtual int ActivePage() const = 0;
    // The user moves to a page: the active page is left, the new page is initialised on
    // its first visit, then made active.
    virtual void Activate(int index) = 0;
    // OK: the active page is left, so that it stores its controls.
    virtual void Accept() = 0;
    // How the pages show their own dialogs, set by the toolkit before the sheet is shown.
    virtual void SetModalRunner(ModalRunner runner) = 0;
};

// The entry points of a toolkit library, found by the name below.
struct DialogToolkit {
    // > 0 accepted, 0 cancelled, -1 when the sheet cannot be shown.
    INT_PTR (*runPropertySheet)(PropertySheetModel& sheet, HWND parent) = nullptr;
    // The dialog's result, or -1 when it cannot be shown.
    INT_PTR (*runModalDialog)(DialogModel& dialog, HWND parent) = nullptr;
    // Pictures for the user guide: one page of the sheet, made active, or a dialog,
    // initialised, drawn into a PNG file. False when nothing could be drawn or written.
    bool (*renderSheetPage)(PropertySheetModel& sheet, int page, const char* pngPath) = nullptr;
    bool (*renderDialog)(DialogModel& dialog, const char* pngPath) = nullptr;
};
inline constexpr const char* kDialogToolkitEntry = "TarvoDialogToolkit";
using DialogToolkitEntry = const DialogToolkit* (*)();

}  // namespace tarvo::ui
