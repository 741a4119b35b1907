#include "host/ProgressBar.h"

#include <algorithm>
#include <cstdio>

namespace tarvo::hostapp {

namespace {

constexpr int kMinimumBarWidth = 10;

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

}  // namespace tarvo::hostapp
