// The host's progress display drawn as one line of text: title, bar and percentage.
#pragma once

#include <string>
#include <string_view>

namespace tarvo::hostapp {

// One line of the progress display, `columns` - 1 columns wide (the last column is left free
// so that terminals that wrap there do not move to a new line): "title   [#####-----]  42%",
// the title in a third of the line. Without showPercent the percentage is left out. On a
// terminal too narrow for a bar, the title and the percentage only.
std::string RenderProgressLine(std::string_view title, int percent, bool showPercent, int columns);

}  // namespace tarvo::hostapp
