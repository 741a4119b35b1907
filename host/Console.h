// Standard error as the host program's console: the host's progress display, and the lines
// of text (message boxes, debug output, errors) that must not be drawn over it.
#pragma once

#include <functional>
#include <string>
#include <string_view>

#include "platform/max/Interface.h"

namespace tarvo::hostapp {

class Console {
  public:
    using Writer = std::function<void(std::string_view text)>;

    // drawBar: a terminal, where the bar is redrawn in place. Elsewhere (a file, a pipe)
    // progress is not shown at all: per-node titles would bury the lines that matter, and
    // the exit status tells the outcome. columns: the terminal's width, asked at each draw.
    Console(Writer write, bool drawBar, std::function<int()> columns);

    // A console on standard error, with a bar when standard error is a terminal.
    static Console ForStandardError();

    void StartProgress(const std::string& title);
    void UpdateProgress(int percent, bool showPercent, const std::string& title);
    void EndProgress();

    // Prints text that ends with a line break (one is added when missing); a bar on the
    // screen is cleared first and drawn again after it.
    void Print(std::string_view text);

    // The sink that routes the host's progress display here. The console must outlive it.
    ProgressSink MakeProgressSink();

  private:
    void Draw(const std::string& line);
    void ClearBar();

    Writer m_write;
    bool m_drawBar;
    std::function<int()> m_columns;
    bool m_active = false;  // between StartProgress and EndProgress
    std::string m_drawn;    // the bar line on the screen, empty when none is
    int m_percent = 0;
    bool m_showPercent = true;
    std::string m_title;
};

}  // namespace tarvo::hostapp
