#include <gtest/gtest.h>

#include <string>

#include "host/Console.h"
#include "host/ProgressBar.h"

using namespace tarvo::hostapp;

namespace {

int Columns(const std::string& text) {
    int columns = 0;
    for (char c : text)
        if ((static_cast<unsigned char>(c) & 0xC0) != 0x80) ++columns;
    return columns;
}

struct Capture {
    Console MakeConsole(bool drawBar, int columns = 60) {
        return Console([this](std::string_view text) { written += text; }, drawBar,
                       [columns] { return columns; });
    }
    std::string written;
};

}  // namespace

TEST(HostProgressLine, TitleBarAndPercentFillTheLineButItsLastColumn) {
    const std::string line = RenderProgressLine("Exporting data...", 50, true, 60);
    EXPECT_EQ(Columns(line), 59) << line;
    EXPECT_EQ(line.rfind("Exporting data...   [", 0), 0u) << line;
    EXPECT_EQ(line.substr(line.size() - 6), "]  50%") << line;
    const auto hashes = std::count(line.begin(), line.end(), '#');
    const auto dashes = std::count(line.begin(), line.end(), '-');
    EXPECT_EQ(hashes, dashes) << line;  // half done
}

TEST(HostProgressLine, EmptyAndFullBars) {
    const std::string empty = RenderProgressLine("T", 0, true, 40);
    EXPECT_EQ(std::count(empty.begin(), empty.end(), '#'), 0) << empty;
    EXPECT_NE(empty.find("  0%"), std::string::npos) << empty;
    const std::string full = RenderProgressLine("T", 100, true, 40);
    EXPECT_EQ(std::count(full.begin(), full.end(), '-'), 0) << full;
    EXPECT_NE(full.find("100%"), std::string::npos) << full;
}

TEST(HostProgressLine, PercentOutsideTheRangeIsClamped) {
    EXPECT_EQ(RenderProgressLine("T", 150, true, 40), RenderProgressLine("T", 100, true, 40));
    EXPECT_EQ(RenderProgressLine("T", -5, true, 40), RenderProgressLine("T", 0, true, 40));
}

TEST(HostProgressLine, WithoutPercentTheBarTakesTheRoom) {
    const std::string line = RenderProgressLine("T", 30, false, 40);
    EXPECT_EQ(line.find('%'), std::string::npos) << line;
    EXPECT_EQ(Columns(line), 39) << line;
    EXPECT_EQ(line.back(), ']');
}

TEST(HostProgressLine, LongTitleIsCutToAThirdOfTheLine) {
    const std::string title(100, 'n');
    const std::string line = RenderProgressLine(title, 10, true, 60);
    EXPECT_EQ(Columns(line), 59) << line;
    EXPECT_EQ(line.find("nnn... ["), 13u) << line;  // the title ends at a third of the line
}

TEST(HostProgressLine, BarStaysInPlaceWhileTitlesChange) {
    const std::string shortTitle = RenderProgressLine("A", 10, false, 80);
    const std::string longTitle = RenderProgressLine("Camera01.Target normals.", 10, false, 80);
    EXPECT_EQ(shortTitle.find('['), longTitle.find('['));
    EXPECT_EQ(shortTitle.size(), longTitle.size());
}

TEST(HostProgressLine, CutNeverSplitsAUtf8Character) {
    std::string title;
    for (int i = 0; i < 40; ++i) title += "\xC3\xA9";  // é
    const std::string line = RenderProgressLine(title, 10, true, 40);
    const std::string shown = line.substr(0, line.find("... ["));
    EXPECT_EQ(shown.size() % 2, 0u) << line;
    for (std::size_t i = 0; i < shown.size(); i += 2) EXPECT_EQ(shown.substr(i, 2), "\xC3\xA9");
    EXPECT_EQ(Columns(line), 39) << line;
}

TEST(HostProgressLine, LineBreaksInATitleBecomeSpaces) {
    const std::string line = RenderProgressLine("Box01\nmesh.\n", 0, true, 60);
    EXPECT_EQ(line.find('\n'), std::string::npos);
    EXPECT_EQ(line.rfind("Box01 mesh.         [", 0), 0u) << line;
}

TEST(HostProgressLine, NarrowTerminalShowsTitleAndPercentOnly) {
    const std::string line = RenderProgressLine("Exporting data...", 42, true, 16);
    EXPECT_EQ(line.find('['), std::string::npos) << line;
    EXPECT_LE(Columns(line), 15) << line;
    EXPECT_EQ(line.substr(line.size() - 4), " 42%") << line;
}

TEST(HostConsole, BarIsDrawnInPlaceAndClearedAtTheEnd) {
    Capture capture;
    Console console = capture.MakeConsole(true);
    console.StartProgress("Exporting data...");
    console.UpdateProgress(50, true, "Box01 mesh.");
    console.EndProgress();
    const std::string expected = "\r" + RenderProgressLine("Exporting data...", 0, true, 60) +
                                 "\x1b[K\r" + RenderProgressLine("Box01 mesh.", 50, true, 60) +
                                 "\x1b[K\r\x1b[K";
    EXPECT_EQ(capture.written, expected);
}

TEST(HostConsole, UnchangedBarIsNotRedrawn) {
    Capture capture;
    Console console = capture.MakeConsole(true);
    console.UpdateProgress(10, true, "A");
    const std::string once = capture.written;
    console.UpdateProgress(10, true, "A");
    EXPECT_EQ(capture.written, once);
    console.UpdateProgress(11, true, "A");
    EXPECT_NE(capture.written, once);
}

TEST(HostConsole, PrintedLineClearsTheBarAndDrawsItAgain) {
    Capture capture;
    Console console = capture.MakeConsole(true);
    console.UpdateProgress(10, true, "A");
    capture.written.clear();
    console.Print("TarvoExporter: message");
    const std::string bar = RenderProgressLine("A", 10, true, 60);
    EXPECT_EQ(capture.written, "\r\x1b[KTarvoExporter: message\n\r" + bar + "\x1b[K");
}

TEST(HostConsole, AfterTheEndPrintedLinesComeAlone) {
    Capture capture;
    Console console = capture.MakeConsole(true);
    console.UpdateProgress(10, true, "A");
    console.EndProgress();
    capture.written.clear();
    console.Print("done\n");
    EXPECT_EQ(capture.written, "done\n");
}

TEST(HostConsole, WithoutATerminalOnlyTextIsWritten) {
    Capture capture;
    Console console = capture.MakeConsole(false);
    console.StartProgress("Exporting data...");
    console.UpdateProgress(50, true, "Box01 mesh.");
    console.Print("a line");
    console.EndProgress();
    EXPECT_EQ(capture.written, "a line\n");
}

TEST(HostConsole, SinkDrivesTheConsole) {
    Capture capture;
    Console console = capture.MakeConsole(true);
    ProgressSink sink = console.MakeProgressSink();
    sink.start("S");
    sink.update(100, false, "U");
    sink.end();
    const std::string expected = "\r" + RenderProgressLine("S", 0, true, 60) + "\x1b[K\r" +
                                 RenderProgressLine("U", 100, false, 60) + "\x1b[K\r\x1b[K";
    EXPECT_EQ(capture.written, expected);
}
