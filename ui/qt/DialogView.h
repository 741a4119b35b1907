// One dialog template drawn with Qt widgets: each control where the template puts it, in
// dialog units of the widget's font. The view shows the model's control state, writes the
// user's changes back into it and reports each command to the model; it decides nothing.
#pragma once

#include <QWidget>
#include <functional>
#include <map>
#include <optional>

#include "ui/DialogModel.h"

class QAbstractButton;
class QButtonGroup;
class QComboBox;
class QLabel;
class QLineEdit;
class QSpinBox;
class QTreeView;

namespace tarvo::ui::qt {

class ListViewItems;

class DialogView : public QWidget {
  public:
    explicit DialogView(DialogModel& model, QWidget* parent = nullptr);
    ~DialogView() override;

    DialogModel& Model() { return m_model; }
    // The template's size in pixels.
    QSize TemplateSize() const;
    // Shows the control state as it is now.
    void Refresh();
    // Stores what the widgets hold into the control state.
    void ReadBack();
    // Reports a command (after ReadBack) and shows the state the model left.
    void Dispatch(const ControlCommand& command);
    // Gives the keyboard focus to the control the model named, if any.
    void ApplyFocus();

    // Called when a command ends the dialog, with its result, and when the model fails.
    std::function<void(INT_PTR result)> onEnd;
    std::function<void(const std::string& why)> onFailure;

  private:
    struct Control {
        const ControlTemplate* source = nullptr;
        QWidget* widget = nullptr;
    };
    QRect PixelRect(const DialogRect& rect) const;
    void Build();
    QWidget* MakeWidget(const ControlTemplate& control, const ControlTemplate* next);
    QWidget* MakeListView(const ControlTemplate& control);
    QWidget* MakeEdit(const ControlTemplate& control, const ControlTemplate* next);
    void Connect(const ControlTemplate& control, QWidget* widget);
    void RefreshControl(const ControlState& state, QWidget* widget);
    void RefreshList(const ControlState& state, QComboBox* list);
    void RefreshListView(const ControlState& state, QTreeView* view);

    DialogModel& m_model;
    QSize m_baseUnits;  // pixels per 4 horizontal and per 8 vertical dialog units
    std::map<int, Control> m_controls;
    std::map<int, QSpinBox*> m_spinOfButton;  // spin button id -> the box it drives
    std::vector<QButtonGroup*> m_radioGroups;
    std::unique_ptr<ListViewItems> m_listItems;
    bool m_refreshing = false;
};

// A control text as Qt shows it on a label: "&&" becomes one ampersand and a single "&"
// (a keyboard-mnemonic mark) is dropped.
QString LabelText(const std::string& text);

// The widgets this library made and may treat as windows; any other handle is foreign.
QWidget* OwnWindow(HWND handle);
void RegisterWindow(QWidget* widget);
void UnregisterWindow(QWidget* widget);

}  // namespace tarvo::ui::qt
