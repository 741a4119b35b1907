#include "host/ProgressBar.h"

#include <sys/ioctl.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>

namespace tarvo::hostapp {

namespace {

constexpr int kDefaultColumns = 80;
constexpr int kMinimumBarWidth = 10;
constexpr std::string_view kEraseToEnd = "\x1b[K";

bool IsContinuationByte(char c) {
    return (static_cast<unsigned char>(c) & 0xC0) == 0x80;
}

// Columns a UTF-8 text takes, counting each code point as one.
int ColumnsOf(std::string_view text) {
    return static_cast<int>(
        std::count_if(text.begin(), text.end(), [](char c) { return !IsContinuationByte(c); }));
}

// The text cut to at most `columns` code points, never inside a UTF-8 sequence; a cut text
// ends in "...".
std::string FitText(std::string_view text, int columns) {
    if (ColumnsOf(text) <= columns) return std::string(text);
    if (columns <= 3) return std::string(static_cast<std::size_t>(std::max(columns, 0)), '.');
    int kept = 0;
    std::size_t end = 0;
    while (end < text.size()) {
        if (!IsContinuationByte(text[end]) && kept++ == columns - 3) break;
        ++end;
    }
    return std::string(text.substr(0, end)) + "...";
}

// Titles arrive from plug-ins and may hold line breaks or tabs; the bar is one line.
std::string OneLine(std::string_view text) {
    std::string line(text);
    std::replace_if(
        line.begin(), line.end(), [](char c) { return c == '\n' || c == '\r' || c == '\t'; }, ' ');
    while (!line.empty() && line.back() == ' ') line.pop_back();
    return line;
}

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

std::string RenderProgressLine(std::string_view title, int percent, bool showPercent, int columns) {
    percent = std::clamp(percent, 0, 100);
    const int usable = std::max(columns - 1, 1);
    std::string percentText;
    if (showPercent) {
        char buffer[8];
        std::snprintf(buffer, sizeof buffer, " %3d%%", percent);
        percentText = buffer;
    }
    const std::string clean = OneLine(title);
    // The title takes a fixed third of the line, so the bar stays put while titles change.
    const int titleWidth = usable / 3;
    const int barWidth = usable - titleWidth - 3 - static_cast<int>(percentText.size());
    if (barWidth < kMinimumBarWidth)
        return FitText(clean, usable - static_cast<int>(percentText.size())) + percentText;

    std::string line = FitText(clean, titleWidth);
    line.append(static_cast<std::size_t>(titleWidth - ColumnsOf(line)), ' ');
    line += " [";
    const int filled = barWidth * percent / 100;
    line.append(static_cast<std::size_t>(filled), '#');
    line.append(static_cast<std::size_t>(barWidth - filled), '-');
    line += ']';
    return line + percentText;
}

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
