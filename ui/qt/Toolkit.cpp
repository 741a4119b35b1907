// The dialog library's one entry point: the toolkit that shows the options sheet, the
// segment dialog, the About box and message boxes with Qt Widgets, and draws pictures of
// them. Each call makes sure Qt can show windows here before it starts any.
#include <QApplication>
#include <QMessageBox>
#include <QPainter>
#include <QScreen>
#include <utility>

#include "platform/max/Interface.h"
#include "platform/win/WinUser.h"
#include "ui/DialogModel.h"
#include "ui/qt/QtPlatform.h"
#include "ui/qt/Windows.h"

namespace tarvo::ui::qt {
namespace {

constexpr INT_PTR kNotShown = -1;

struct ButtonAnswer {
    QMessageBox::StandardButton button;
    int answer;
};

int QtMessageBox(HWND owner, const std::string& text, const std::string& caption, UINT type) {
    ApplicationScope application;
    if (!application.Ready()) return UnattendedAnswer(type);
    std::vector<ButtonAnswer> buttons = {{QMessageBox::Ok, IDOK}};
    if ((type & 0xF) == MB_OKCANCEL) buttons.push_back({QMessageBox::Cancel, IDCANCEL});
    if ((type & 0xF) == MB_YESNO) buttons = {{QMessageBox::Yes, IDYES}, {QMessageBox::No, IDNO}};
    QMessageBox::StandardButtons shown;
    for (const ButtonAnswer& button : buttons) shown |= button.button;
    QMessageBox::Icon icon = QMessageBox::NoIcon;
    if ((type & 0xF0) == MB_ICONERROR) icon = QMessageBox::Critical;
    if ((type & 0xF0) == MB_ICONWARNING) icon = QMessageBox::Warning;
    QMessageBox box(icon, QString::fromStdString(caption), QString::fromStdString(text), shown,
                    OwnWindow(owner));
    box.setObjectName("message-box");
    const int chosen = box.exec();
    for (const ButtonAnswer& button : buttons)
        if (chosen == button.button) return button.answer;
    return UnattendedAnswer(type);
}

// Centres one of this library's windows over another, or over the screen when the parent
// is not one of them.
BOOL CentreWindow(HWND child, HWND parent) {
    QWidget* window = OwnWindow(child);
    if (window == nullptr) return FALSE;
    QRect around;
    if (QWidget* over = OwnWindow(parent))
        around = over->window()->frameGeometry();
    else if (QScreen* screen = window->screen())
        around = screen->availableGeometry();
    else
        return FALSE;
    window->move(around.center() - window->rect().center());
    return TRUE;
}

// While a dialog of this library is open, the run's message boxes are Qt boxes over it;
// once it closes they go back to where they went before (the host program's console, for
// one), so that what the export says afterwards is not a window nobody may be watching.
// Windows centre through Qt from the first dialog on.
class HostWindowsThroughQt {
  public:
    HostWindowsThroughQt() : m_previousBoxes(SetMessageBoxSink(QtMessageBox)) {
        SetCenterWindowSink(CentreWindow);
    }
    ~HostWindowsThroughQt() { SetMessageBoxSink(std::move(m_previousBoxes)); }
    HostWindowsThroughQt(const HostWindowsThroughQt&) = delete;
    HostWindowsThroughQt& operator=(const HostWindowsThroughQt&) = delete;

  private:
    MessageBoxSink m_previousBoxes;
};

INT_PTR RunModalDialog(DialogModel& dialog, HWND parent) {
    ApplicationScope application;
    if (!application.Ready()) return kNotShown;
    const HostWindowsThroughQt hostWindows;
    ModalWindow window(dialog, OwnWindow(parent));
    if (!window.Initialise()) return kNotShown;
    return window.exec();
}

INT_PTR RunPropertySheet(PropertySheetModel& sheet, HWND parent) {
    ApplicationScope application;
    if (!application.Ready()) return kNotShown;
    const HostWindowsThroughQt hostWindows;
    sheet.SetModalRunner(RunModalDialog);
    SheetWindow window(sheet, OwnWindow(parent));
    const int result = window.exec();
    sheet.SetModalRunner(nullptr);
    if (result == kWindowFailed) return kNotShown;
    return result == QDialog::Accepted ? 1 : 0;
}

// The window's picture under a title bar with its caption, since a window drawn off
// screen has no frame of its own.
QImage WithTitleBar(QWidget& window) {
    const QPixmap body = window.grab();
    const int titleHeight = window.fontMetrics().height() + 10;
    QImage picture(body.width() + 2, body.height() + titleHeight + 1, QImage::Format_RGB32);
    picture.fill(QColor(96, 96, 96));
    QPainter painter(&picture);
    painter.fillRect(1, 1, body.width(), titleHeight - 1, QColor(44, 62, 92));
    painter.setPen(Qt::white);
    painter.setFont(window.font());
    painter.drawText(QRect(8, 1, body.width() - 8, titleHeight - 1), Qt::AlignVCenter,
                     window.windowTitle());
    painter.drawPixmap(1, titleHeight, body);
    return picture;
}

bool SavePicture(QWidget& window, const char* pngPath) {
    window.show();
    QApplication::processEvents();
    const bool saved = WithTitleBar(window).save(QString::fromUtf8(pngPath), "PNG");
    window.hide();
    return saved;
}

bool RenderSheetPage(PropertySheetModel& sheet, int page, const char* pngPath) {
    ApplicationScope application;
    if (!application.Ready()) return false;
    SheetWindow window(sheet, nullptr);
    window.ShowPage(page);
    return SavePicture(window, pngPath);
}

bool RenderDialog(DialogModel& dialog, const char* pngPath) {
    ApplicationScope application;
    if (!application.Ready()) return false;
    ModalWindow window(dialog, nullptr);
    return window.Initialise() && SavePicture(window, pngPath);
}

const DialogToolkit kQtToolkit{RunPropertySheet, RunModalDialog, RenderSheetPage, RenderDialog};

}  // namespace
}  // namespace tarvo::ui::qt

extern "C" __attribute__((visibility("default"))) const tarvo::ui::DialogToolkit*
TarvoDialogToolkit() {
    return &tarvo::ui::qt::kQtToolkit;
}
