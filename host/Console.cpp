#include "host/Console.h"

#include <sys/ioctl.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>

#include "host/ProgressBar.h"

namespace tarvo::hostapp {

namespace {

constexpr int kDefaultColumns = 80;
constexpr std::string_view kEraseToEnd = "\x1b[K";

int TerminalColumns(int fd) {
    winsize size{};
    if (ioctl(fd, TIOCGWINSZ, &size) == 0 && size.ws_col > 0) return size.ws_col;
    if (const char* columns = std::getenv("COLUMNS")) {
        int value = std::atoi(columns);
        if (value > 0) return value;
    }
    return kDefaultColumns;
}

}  // namespace

Console::Console(Writer write, bool drawBar, std::function<int()> columns)
    : m_write(std::move(write)), m_drawBar(drawBar), m_columns(std::move(columns)) {}

Console Console::ForStandardError() {
    const bool terminal = isatty(STDERR_FILENO) == 1;
    return Console(
        [](std::string_view text) {
            std::fwrite(text.data(), 1, text.size(), stderr);
            std::fflush(stderr);
        },
        terminal, [] { return TerminalColumns(STDERR_FILENO); });
}

void Console::StartProgress(const std::string& title) {
    m_active = true;
    m_title = title;
    m_percent = 0;
    m_showPercent = true;
    Draw(RenderProgressLine(m_title, m_percent, m_showPercent, m_columns()));
}

void Console::UpdateProgress(int percent, bool showPercent, const std::string& title) {
    // An update without a start still shows: the host draws whatever it is told.
    m_active = true;
    m_title = title;
    m_percent = percent;
    m_showPercent = showPercent;
    Draw(RenderProgressLine(m_title, m_percent, m_showPercent, m_columns()));
}

void Console::EndProgress() {
    m_active = false;
    ClearBar();
}

void Console::Print(std::string_view text) {
    if (text.empty()) return;
    const std::string shown = m_drawn;
    ClearBar();
    m_write(text);
    if (text.back() != '\n') m_write("\n");
    if (m_active && !shown.empty()) Draw(shown);
}

ProgressSink Console::MakeProgressSink() {
    ProgressSink sink;
    sink.start = [this](const std::string& title) { StartProgress(title); };
    sink.update = [this](int percent, bool showPercent, const std::string& title) {
        UpdateProgress(percent, showPercent, title);
    };
    sink.end = [this] { EndProgress(); };
    return sink;
}

void Console::Draw(const std::string& line) {
    // Redraw only on change: plug-ins update far more often than the text changes.
    if (!m_drawBar || line == m_drawn) return;
    std::string text = "\r" + line;
    text += kEraseToEnd;
    m_write(text);
    m_drawn = line;
}

void Console::ClearBar() {
    if (m_drawn.empty()) return;
    std::string text = "\r";
    text += kEraseToEnd;
    m_write(text);
    m_drawn.clear();
}

}  // namespace tarvo::hostapp
