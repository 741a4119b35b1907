// The windows that show the models: the options sheet with its tabs and OK and Cancel,
// and a modal dialog for one template (the segment dialog, the About box).
#pragma once

#include <QDialog>
#include <vector>

#include "ui/DialogModel.h"
#include "ui/qt/DialogView.h"

class QTabWidget;

namespace tarvo::ui::qt {

// The result a window ends with when the model failed under it.
constexpr int kWindowFailed = -1;

class SheetWindow : public QDialog {
  public:
    SheetWindow(PropertySheetModel& sheet, QWidget* parent);
    ~SheetWindow() override;
    // Shows the page as a click on its tab does.
    void ShowPage(int index);

  protected:
    void accept() override;

  private:
    void PageChanged(int index);
    DialogView& PageView(int index);
    void Fail(const std::string& why);

    PropertySheetModel& m_sheet;
    QTabWidget* m_tabs = nullptr;
    std::vector<DialogView*> m_pages;
    std::vector<bool> m_focusGiven;  // a page's focus is set on its first visit only
};

class ModalWindow : public QDialog {
  public:
    ModalWindow(DialogModel& dialog, QWidget* parent);
    ~ModalWindow() override;
    // Fills the controls (the model may centre the window over its parent) and shows them;
    // false when the model failed.
    bool Initialise();

  protected:
    // Escape and the close box send Cancel; Enter sends OK. The model decides whether
    // the window closes.
    void reject() override;
    void keyPressEvent(QKeyEvent* event) override;

  private:
    DialogView* m_view = nullptr;
};

}  // namespace tarvo::ui::qt
