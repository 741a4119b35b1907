#include "ui/qt/Windows.h"

#include <QDialogButtonBox>
#include <QKeyEvent>
#include <QPushButton>
#include <QTabWidget>
#include <QVBoxLayout>

#include "platform/max/Interface.h"
#include "ui/ResourceIds.h"

namespace tarvo::ui::qt {

SheetWindow::SheetWindow(PropertySheetModel& sheet, QWidget* parent)
    : QDialog(parent), m_sheet(sheet) {
    RegisterWindow(this);
    setObjectName("options-sheet");
    setWindowTitle(QString::fromStdString(sheet.Caption()));
    auto* layout = new QVBoxLayout(this);
    m_tabs = new QTabWidget(this);
    // Every tab in sight: the sheet grows to hold them rather than scroll them.
    m_tabs->setUsesScrollButtons(false);
    for (int i = 0; i < sheet.PageCount(); ++i) {
        DialogModel& page = sheet.Page(i);
        auto* view = new DialogView(page, m_tabs);
        page.Controls().window = view;
        page.Controls().parent = this;
        view->onFailure = [this](const std::string& why) { Fail(why); };
        m_pages.push_back(view);
        // The tab shows the template's caption; "&&" shows as one ampersand.
        m_tabs->addTab(view, QString::fromStdString(page.Template().caption));
    }
    m_focusGiven.assign(m_pages.size(), false);
    layout->addWidget(m_tabs);
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    layout->addWidget(buttons);
    PageChanged(0);
    connect(m_tabs, &QTabWidget::currentChanged, this, &SheetWindow::PageChanged);
}

SheetWindow::~SheetWindow() {
    UnregisterWindow(this);
}

void SheetWindow::ShowPage(int index) {
    m_tabs->setCurrentIndex(index);
}

void SheetWindow::PageChanged(int index) {
    const int leaving = m_sheet.ActivePage();
    try {
        if (leaving >= 0) PageView(leaving).ReadBack();
        m_sheet.Activate(index);
    } catch (const std::exception& failure) {
        Fail(failure.what());
        return;
    }
    // Leaving may have changed the page left (a rate put back in its box).
    if (leaving >= 0) PageView(leaving).Refresh();
    PageView(index).Refresh();
    if (!m_focusGiven[static_cast<std::size_t>(index)]) {
        m_focusGiven[static_cast<std::size_t>(index)] = true;
        PageView(index).ApplyFocus();
    }
}

DialogView& SheetWindow::PageView(int index) {
    return *m_pages.at(static_cast<std::size_t>(index));
}

void SheetWindow::accept() {
    try {
        const int active = m_sheet.ActivePage();
        if (active >= 0) PageView(active).ReadBack();
        m_sheet.Accept();
    } catch (const std::exception& failure) {
        Fail(failure.what());
        return;
    }
    QDialog::accept();
}

void SheetWindow::Fail(const std::string& why) {
    DebugPrint("Options sheet failed: %s\n", why.c_str());
    done(kWindowFailed);
}

ModalWindow::ModalWindow(DialogModel& dialog, QWidget* parent) : QDialog(parent) {
    RegisterWindow(this);
    setObjectName(QString("modal-%1").arg(dialog.Template().id));
    setWindowTitle(QString::fromStdString(dialog.Template().caption));
    m_view = new DialogView(dialog, this);
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(m_view);
    setFixedSize(m_view->TemplateSize());
    dialog.Controls().window = this;
    dialog.Controls().parent = parent;
    m_view->onEnd = [this](INT_PTR result) { done(static_cast<int>(result)); };
    m_view->onFailure = [this](const std::string& why) {
        DebugPrint("Dialog failed: %s\n", why.c_str());
        done(kWindowFailed);
    };
}

ModalWindow::~ModalWindow() {
    UnregisterWindow(this);
}

bool ModalWindow::Initialise() {
    try {
        m_view->Model().Initialise();
    } catch (const std::exception& failure) {
        DebugPrint("Dialog failed: %s\n", failure.what());
        return false;
    }
    m_view->Refresh();
    m_view->ApplyFocus();
    return true;
}

void ModalWindow::reject() {
    m_view->Dispatch({IDC_CANCEL, Notification::Clicked});
}

void ModalWindow::keyPressEvent(QKeyEvent* event) {
    const bool enter = event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter;
    // With a default button Qt presses it; a template without one still hears OK.
    if (enter && findChildren<QPushButton*>().isEmpty()) {
        m_view->Dispatch({IDC_OK, Notification::Clicked});
        return;
    }
    QDialog::keyPressEvent(event);
}

}  // namespace tarvo::ui::qt
