// The real Qt dialogs, driven with mouse clicks and keys on the offscreen platform: an
// export of the example scene through the options sheet, with changes on three pages, the
// segment dialog and its validation box, Cancel, and the About box.
#include <gtest/gtest.h>

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QDialogButtonBox>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QSpinBox>
#include <QTabBar>
#include <QTabWidget>
#include <QTest>
#include <QTimer>
#include <QTreeView>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <memory>

#include "host/scene/SceneFile.h"
#include "platform/d3dx/XReader.h"
#include "platform/max/HostScene.h"
#include "platform/win/WinUser.h"
#include "plugin/Exporter.h"
#include "tests/support/TempDir.h"
#include "tests/support/TestFiles.h"
#include "ui/DialogToolkit.h"
#include "ui/ResourceIds.h"

extern "C" const tarvo::ui::DialogToolkit* TarvoDialogToolkit();

namespace {

using namespace tarvo::ui;
using tarvo::testsupport::ReadText;

const std::string kExample = std::string(TARVO_SOURCE_DIR) + "/examples/sample.tscene.json";
constexpr int kWatchdogMs = 20000;

// The top-level window with this object name, once it is shown.
template <typename Window = QWidget>
Window* FindWindow(const QString& name) {
    for (QWidget* widget : QApplication::topLevelWidgets())
        if (widget->objectName() == name && widget->isVisible())
            return qobject_cast<Window*>(widget);
    return nullptr;
}

template <typename Widget>
Widget* ControlOf(QWidget* window, int page, int id) {
    QWidget* view = window->findChild<QWidget*>(QString("dialog-%1").arg(page));
    return view ? view->findChild<Widget*>(QString("control-%1").arg(id)) : nullptr;
}

// A click where a check box or option button has its mark.
void ClickMark(QAbstractButton* button) {
    ASSERT_NE(button, nullptr);
    QTest::mouseClick(button, Qt::LeftButton, {},
                      QPoint(button->height() / 2, button->height() / 2));
}

void ClickTab(QWidget* sheet, int index) {
    auto* tabs = sheet->findChild<QTabWidget*>()->tabBar();
    QTest::mouseClick(tabs, Qt::LeftButton, {}, tabs->tabRect(index).center());
}

void ClickSheetButton(QWidget* sheet, QDialogButtonBox::StandardButton which) {
    QTest::mouseClick(sheet->findChild<QDialogButtonBox*>()->button(which), Qt::LeftButton);
}

void TypeInto(QWidget* box, const QString& text) {
    box->setFocus();
    QTest::keyClick(box, Qt::Key_A, Qt::ControlModifier);
    QTest::keyClicks(box, text);
}

// Runs `step` once the window with this name is up (the event loop of the dialog that
// opens it is running by then). The poll timer belongs to the application and goes when
// it has run the step.
void WhenShown(const QString& name, std::function<void(QWidget*)> step) {
    auto* poll = new QTimer(QCoreApplication::instance());
    poll->setInterval(10);
    QObject::connect(poll, &QTimer::timeout, [poll, name, step] {
        QWidget* window = FindWindow(name);
        if (window == nullptr) return;
        poll->stop();
        poll->deleteLater();
        step(window);
    });
    poll->start();
}

class QtDialogsTest : public ::testing::Test {
  protected:
    static void SetUpTestSuite() {
        setenv("QT_QPA_PLATFORM", "offscreen", 1);
        static int argc = 1;
        static char name[] = "ui_qt_tests";
        static char* argv[] = {name, nullptr};
        application = new QApplication(argc, argv);
    }
    static void TearDownTestSuite() {
        delete application;
        application = nullptr;
    }

    void SetUp() override {
        UseDialogToolkit(TarvoDialogToolkit());
        m_scene = std::make_unique<HostScene>(tarvo::scenefile::LoadSceneFile(kExample));
        m_host = std::make_unique<Interface>(m_scene.get());
        std::filesystem::create_directories(m_dir.Path() / "cfg");
        std::filesystem::create_directories(m_dir.Path() / "out");
        m_host->SetPlugCfgDir(m_dir.File("cfg"));
        // Whatever goes wrong, no dialog is left waiting for a user.
        m_watchdog.setSingleShot(true);
        QObject::connect(&m_watchdog, &QTimer::timeout, [] {
            ADD_FAILURE() << "a dialog was still open after " << kWatchdogMs << " ms";
            for (QWidget* widget : QApplication::topLevelWidgets())
                if (auto* dialog = qobject_cast<QDialog*>(widget)) dialog->done(-1);
        });
        m_watchdog.start(kWatchdogMs);
    }

    void TearDown() override { UseDialogToolkit(nullptr); }

    int ExportWithPrompts() {
        TarvoDirectXMaxExporter exporter;
        return exporter.DoExport(OutputPath().c_str(), nullptr, m_host.get(), FALSE, 0);
    }
    std::string OutputPath() const { return m_dir.File("out/sample.x"); }
    std::string SettingsText() const { return ReadText(m_dir.Path() / "cfg/TarvoDXExport.xml"); }

    d3dx::XFileContents ReadOutput() {
        d3dx::XFileContents contents;
        EXPECT_EQ(d3dx::ReadXFile(OutputPath(), d3dx::StandardTemplates(), contents, nullptr),
                  S_OK);
        return contents;
    }
    static int CountOf(const d3dx::XFileContents& contents, const std::string& templateName) {
        return static_cast<int>(std::count_if(
            contents.objects.begin(), contents.objects.end(),
            [&](const d3dx::XDataObject& object) { return object.templateName == templateName; }));
    }

    static QApplication* application;
    tarvo::testsupport::TempDir m_dir{"tarvo-ui-qt"};
    std::unique_ptr<HostScene> m_scene;
    std::unique_ptr<Interface> m_host;
    QTimer m_watchdog;
};

QApplication* QtDialogsTest::application = nullptr;

TEST_F(QtDialogsTest, ChangesOnThreePagesReachTheExportAndTheSettingsFile) {
    WhenShown("options-sheet", [](QWidget* sheet) {
        EXPECT_EQ(sheet->windowTitle(), "Velmarks DirectX Exporter - 6.2012.71.0");
        auto* tabs = sheet->findChild<QTabWidget*>();
        ASSERT_EQ(tabs->count(), 6);
        EXPECT_EQ(tabs->tabBar()->tabText(3), "Textures && .fx files");  // shown as one '&'
        // Page 1: no animation.
        ClickMark(ControlOf<QCheckBox>(sheet, IDD_OBJECTS_PAGE, objects::kAnimation));
        // Page 4: PNG textures, two steps down the format list.
        ClickTab(sheet, 3);
        auto* formats = ControlOf<QComboBox>(sheet, IDD_TEXTURES_PAGE, textures::kFormat);
        ASSERT_NE(formats, nullptr);
        EXPECT_EQ(formats->currentText(), "Bitmap (.bmp)");
        QTest::keyClick(formats, Qt::Key_Down);
        QTest::keyClick(formats, Qt::Key_Down);
        EXPECT_EQ(formats->currentText(), "PNG (.png)");
        // Page 5: a binary file.
        ClickTab(sheet, 4);
        ClickMark(ControlOf<QAbstractButton>(sheet, IDD_XFILE_PAGE, xfile::kBinary));
        ClickSheetButton(sheet, QDialogButtonBox::Ok);
    });
    ASSERT_EQ(ExportWithPrompts(), 1);

    const d3dx::XFileContents contents = ReadOutput();
    EXPECT_EQ(contents.form, d3dx::XFileForm::Binary);
    EXPECT_GT(CountOf(contents, "Frame"), 0);
    EXPECT_EQ(CountOf(contents, "AnimationSet"), 0);
    EXPECT_TRUE(std::filesystem::exists(m_dir.Path() / "out/brick.png"));
    EXPECT_FALSE(std::filesystem::exists(m_dir.Path() / "out/brick.bmp"));
    const std::string settings = SettingsText();
    EXPECT_NE(settings.find("x-file-type=\"1\""), std::string::npos) << settings;
    EXPECT_NE(settings.find("animation=\"off\""), std::string::npos) << settings;
    EXPECT_NE(settings.find("texture-format=\"2\""), std::string::npos) << settings;
}

TEST_F(QtDialogsTest, CancelWritesNothing) {
    WhenShown("options-sheet", [](QWidget* sheet) {
        ClickTab(sheet, 4);
        ClickMark(ControlOf<QAbstractButton>(sheet, IDD_XFILE_PAGE, xfile::kCompressed));
        ClickTab(sheet, 0);  // the X File page stored its buttons on leaving
        ClickSheetButton(sheet, QDialogButtonBox::Cancel);
    });
    EXPECT_EQ(ExportWithPrompts(), 1);
    EXPECT_FALSE(std::filesystem::exists(OutputPath()));
    EXPECT_TRUE(std::filesystem::is_empty(m_dir.Path() / "cfg")) << "no settings file";
    EXPECT_TRUE(std::filesystem::is_empty(m_dir.Path() / "out"));
}

TEST_F(QtDialogsTest, SegmentsAddedInTheDialogAreExportedAndADuplicateIsRefused) {
    std::vector<std::pair<QString, QString>> boxesSeen;
    WhenShown("options-sheet", [&](QWidget* sheet) {
        ClickTab(sheet, 2);
        auto* add = ControlOf<QPushButton>(sheet, IDD_ANIMATION_PAGE, animation::kAdd);
        ASSERT_NE(add, nullptr);
        // A new segment "Jump" over samples 5 to 20.
        WhenShown("modal-108", [](QWidget* dialog) {
            EXPECT_EQ(dialog->windowTitle(), "Animation Segment");
            auto* name = ControlOf<QLineEdit>(dialog, IDD_SEGMENT, segment::kName);
            auto* start = ControlOf<QSpinBox>(dialog, IDD_SEGMENT, segment::kStart);
            auto* finish = ControlOf<QSpinBox>(dialog, IDD_SEGMENT, segment::kFinish);
            ASSERT_TRUE(name && start && finish);
            EXPECT_EQ(name->text(), "Anim-2");
            EXPECT_EQ(finish->maximum(), 30);  // 4,800 ticks at 160 ticks per sample
            TypeInto(name, "Jump");
            TypeInto(start, "5");
            TypeInto(finish, "19");
            QTest::keyClick(finish, Qt::Key_Up);  // the arrows step the box: 20
            QTest::mouseClick(ControlOf<QPushButton>(dialog, IDD_SEGMENT, IDC_OK), Qt::LeftButton);
        });
        QTest::mouseClick(add, Qt::LeftButton);
        auto* list = ControlOf<QTreeView>(sheet, IDD_ANIMATION_PAGE, animation::kSegments);
        ASSERT_EQ(list->model()->rowCount(), 2);
        EXPECT_EQ(list->model()->index(1, 0).data().toString(), "Jump");
        EXPECT_EQ(list->model()->index(1, 1).data().toString(), "5");
        EXPECT_EQ(list->model()->index(1, 2).data().toString(), "20");

        // "Anim-1" again: the validation box, answered with OK.
        WhenShown("modal-108", [&](QWidget* dialog) {
            WhenShown("message-box", [&](QWidget* box) {
                auto* message = qobject_cast<QMessageBox*>(box);
                boxesSeen.emplace_back(message->windowTitle(), message->text());
                QTest::mouseClick(message->button(QMessageBox::Ok), Qt::LeftButton);
            });
            TypeInto(ControlOf<QLineEdit>(dialog, IDD_SEGMENT, segment::kName), "Anim-1");
            QTest::keyClick(dialog, Qt::Key_Return);  // the default button
        });
        QTest::mouseClick(add, Qt::LeftButton);
        EXPECT_EQ(list->model()->rowCount(), 2);
        ClickSheetButton(sheet, QDialogButtonBox::Ok);
    });
    ASSERT_EQ(ExportWithPrompts(), 1);

    ASSERT_EQ(boxesSeen.size(), 1u);
    EXPECT_EQ(boxesSeen[0].first, "Validation Error");
    EXPECT_EQ(boxesSeen[0].second, "Animation name already exists");
    EXPECT_EQ(CountOf(ReadOutput(), "AnimationSet"), 2);
    EXPECT_NE(SettingsText().find("<segment name=\"Jump\" start=\"5\" end=\"20\" />"),
              std::string::npos)
        << SettingsText();
}

TEST_F(QtDialogsTest, MessageBoxesGoBackToTheirSinkWhenTheSheetCloses) {
    std::vector<std::string> boxesBefore;
    SetMessageBoxSink([&](HWND, const std::string& text, const std::string&, UINT) {
        boxesBefore.push_back(text);
        return IDOK;
    });
    WhenShown("options-sheet", [](QWidget* sheet) {
        // A box while the sheet is open is a Qt box over it, not one for the sink before.
        WhenShown("message-box", [](QWidget* box) {
            QTest::mouseClick(qobject_cast<QMessageBox*>(box)->button(QMessageBox::Ok),
                              Qt::LeftButton);
        });
        EXPECT_EQ(MessageBoxA(nullptr, "while open", "Test", MB_OK), IDOK);
        ClickSheetButton(sheet, QDialogButtonBox::Ok);
    });
    ASSERT_EQ(ExportWithPrompts(), 1);
    EXPECT_EQ(MessageBoxA(nullptr, "after the export", "Test", MB_OK), IDOK);
    SetMessageBoxSink(nullptr);
    EXPECT_EQ(boxesBefore, std::vector<std::string>{"after the export"});
}

TEST_F(QtDialogsTest, TheAboutBoxShowsTheReleaseAndClosesWithEscape) {
    WhenShown("modal-102", [](QWidget* about) {
        EXPECT_EQ(about->windowTitle(), "About...");
        auto* release = ControlOf<QLabel>(about, IDD_ABOUT, about::kMaxVersion);
        ASSERT_NE(release, nullptr);
        EXPECT_EQ(release->text(), "3DS Max Version: 14000");
        QTest::keyClick(about, Qt::Key_Escape);
    });
    TarvoDirectXMaxExporter exporter;
    exporter.ShowAbout(nullptr);
    EXPECT_EQ(FindWindow("modal-102"), nullptr);
}

}  // namespace

// Fontconfig keeps what it allocates for the life of the process; nothing of it is ours.
extern "C" const char* __lsan_default_suppressions() {
    return "leak:libfontconfig.so\n";
}
