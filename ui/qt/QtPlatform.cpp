#include "ui/qt/QtPlatform.h"

#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>
#include <xcb/xcb.h>

#include <QApplication>
#include <QLibraryInfo>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <vector>

#include "platform/max/Interface.h"

namespace tarvo::ui::qt {
namespace {

std::string Environment(const char* name) {
    const char* value = std::getenv(name);
    return value != nullptr ? value : "";
}

std::vector<std::string> Split(const std::string& text, char separator) {
    std::vector<std::string> parts;
    std::size_t begin = 0;
    while (begin <= text.size()) {
        std::size_t end = text.find(separator, begin);
        if (end == std::string::npos) end = text.size();
        if (end > begin) parts.push_back(text.substr(begin, end - begin));
        begin = end + 1;
    }
    return parts;
}

// The folders Qt looks in for platform plug-ins.
std::vector<std::filesystem::path> PlatformPluginFolders() {
    std::vector<std::filesystem::path> folders;
    for (const std::string& folder : Split(Environment("QT_QPA_PLATFORM_PLUGIN_PATH"), ':'))
        folders.emplace_back(folder);
    for (const std::string& folder : Split(Environment("QT_PLUGIN_PATH"), ':'))
        folders.push_back(std::filesystem::path(folder) / "platforms");
    folders.push_back(
        std::filesystem::path(QLibraryInfo::path(QLibraryInfo::PluginsPath).toStdString()) /
        "platforms");
    return folders;
}

bool PluginInstalled(const std::string& platform) {
    std::error_code ignored;
    for (const auto& folder : PlatformPluginFolders())
        if (std::filesystem::exists(folder / ("libq" + platform + ".so"), ignored)) return true;
    return false;
}

struct XcbDisconnect {
    void operator()(xcb_connection_t* connection) const { xcb_disconnect(connection); }
};
using XcbConnection = std::unique_ptr<xcb_connection_t, XcbDisconnect>;

// The connection that found the X display answering, kept until Qt has made its own: an X
// server without other clients resets when its last client leaves, and Qt, connecting in
// that moment, would find no display and end the process.
XcbConnection g_probeConnection;

// The X server named by DISPLAY accepts a connection (with its authorisation).
bool XDisplayAnswers() {
    if (Environment("DISPLAY").empty()) return false;
    XcbConnection connection(xcb_connect(nullptr, nullptr));
    if (xcb_connection_has_error(connection.get()) != 0) return false;
    g_probeConnection = std::move(connection);
    return true;
}

// The compositor's socket named by WAYLAND_DISPLAY accepts a connection.
bool WaylandDisplayAnswers() {
    std::string name = Environment("WAYLAND_DISPLAY");
    if (name.empty()) return false;
    if (name.front() != '/') {
        const std::string runtime = Environment("XDG_RUNTIME_DIR");
        if (runtime.empty()) return false;
        name = runtime + "/" + name;
    }
    sockaddr_un address{};
    if (name.size() >= sizeof address.sun_path) return false;
    address.sun_family = AF_UNIX;
    name.copy(address.sun_path, name.size());
    const int socketFd = socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (socketFd < 0) return false;
    const bool answers =
        connect(socketFd, reinterpret_cast<const sockaddr*>(&address), sizeof address) == 0;
    close(socketFd);
    return answers;
}

bool CanStart(const std::string& entry, bool namedByUser) {
    const std::string platform = entry.substr(0, entry.find(':'));
    if (!PluginInstalled(platform)) return false;
    if (platform == "xcb") return XDisplayAnswers();
    if (platform.rfind("wayland", 0) == 0) return WaylandDisplayAnswers();
    if (platform == "offscreen" || platform == "minimal") return namedByUser;
    // Any other platform (a framebuffer, a VNC server) cannot be checked from here.
    return false;
}

}  // namespace

std::optional<std::string> ChooseQtPlatform() {
    const std::string named = Environment("QT_QPA_PLATFORM");
    std::vector<std::string> candidates = Split(named, ';');
    const bool namedByUser = !candidates.empty();
    if (!namedByUser) candidates = {"wayland", "xcb"};
    for (const std::string& candidate : candidates)
        if (CanStart(candidate, namedByUser)) return candidate;
    DebugPrint("Dialogs not shown: no display for Qt (QT_QPA_PLATFORM=\"%s\")\n", named.c_str());
    return std::nullopt;
}

ApplicationScope::ApplicationScope() {
    if (QCoreApplication::instance() != nullptr) {
        // Widgets need a QApplication; a program with only a core or GUI application
        // cannot show them.
        m_ready = qobject_cast<QApplication*>(QCoreApplication::instance()) != nullptr;
        return;
    }
    const std::optional<std::string> platform = ChooseQtPlatform();
    if (!platform) return;
    // QApplication keeps argc and argv for its whole life.
    static std::string programName = "tarvo-dx-dialogs";
    static std::string platformOption = "-platform";
    static std::string platformName;
    static char* argv[4] = {};
    static int argc = 3;
    platformName = *platform;
    argv[0] = programName.data();
    argv[1] = platformOption.data();
    argv[2] = platformName.data();
    argc = 3;
    m_own = std::make_unique<QApplication>(argc, argv);
    g_probeConnection.reset();
    m_ready = true;
}

ApplicationScope::~ApplicationScope() = default;

}  // namespace tarvo::ui::qt
