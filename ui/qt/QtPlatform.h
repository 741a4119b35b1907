// Whether Qt can show windows here, decided before a QApplication exists: Qt ends the
// process when its platform cannot start, so the dialogs ask first and report that they
// cannot be shown instead.
#pragma once

#include <memory>
#include <optional>
#include <string>

class QApplication;

namespace tarvo::ui::qt {

// The Qt platform to start: the first entry of QT_QPA_PLATFORM whose plug-in is installed
// and whose display answers, or without that variable the X display (or a Wayland one
// first, when one is named). "offscreen" and "minimal" show nothing to anyone, so they are
// used only when QT_QPA_PLATFORM names them. Nothing when no platform can start.
std::optional<std::string> ChooseQtPlatform();

// A QApplication for as long as the scope lives: the program's own when it has one, else
// one made here on the chosen platform. Ready() is false when neither can be had.
class ApplicationScope {
  public:
    ApplicationScope();
    ~ApplicationScope();
    ApplicationScope(const ApplicationScope&) = delete;
    ApplicationScope& operator=(const ApplicationScope&) = delete;

    bool Ready() const { return m_ready; }

  private:
    std::unique_ptr<QApplication> m_own;
    bool m_ready = false;
};

}  // namespace tarvo::ui::qt
