#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "platform/win/WinUser.h"

namespace {

TEST(WinUser, MessageBoxesGoToTheSinkOrAnswerThemselves) {
    SetMessageBoxSink(nullptr);
    EXPECT_EQ(MessageBoxA(nullptr, "text", "caption", MB_OK), IDOK);
    EXPECT_EQ(MessageBoxA(nullptr, "text", "caption", MB_YESNO), IDNO);
    EXPECT_EQ(MessageBoxA(nullptr, "text", "caption", MB_OKCANCEL), IDCANCEL);
    std::vector<std::string> shown;
    SetMessageBoxSink([&](HWND, const std::string& text, const std::string& caption, UINT) {
        shown.push_back(caption + ": " + text);
        return IDYES;
    });
    EXPECT_EQ(MessageBoxA(nullptr, "Overwrite?", "Tarvo", MB_YESNO), IDYES);
    SetMessageBoxSink(nullptr);
    EXPECT_EQ(shown, std::vector<std::string>{"Tarvo: Overwrite?"});
}

TEST(WinUser, DebugOutputReachesTheSink) {
    std::string seen;
    SetDebugOutputSink([&](const std::string& text) { seen += text; });
    OutputDebugStringA("one ");
    OutputDebugStringA(nullptr);
    OutputDebugStringA("two");
    SetDebugOutputSink(nullptr);
    OutputDebugStringA("dropped");
    EXPECT_EQ(seen, "one two");
}

TEST(WinUser, StringTablesAreLookedUpByModule) {
    static int anchor;
    HINSTANCE module = ModuleHandleOf(&anchor);
    ASSERT_NE(module, nullptr);
    RegisterStringTable(module, {{1, "Directx Exporter"}, {6, "Tarvo DirectX"}});
    char buffer[8];
    EXPECT_EQ(LoadStringA(module, 1, buffer, sizeof buffer), 7);  // cut to the buffer
    EXPECT_STREQ(buffer, "Directx");
    char big[64];
    EXPECT_EQ(LoadStringA(module, 6, big, sizeof big), 13);
    EXPECT_STREQ(big, "Tarvo DirectX");
    EXPECT_EQ(LoadStringA(module, 4, big, sizeof big), 0);
    EXPECT_EQ(LoadStringA(nullptr, 1, big, sizeof big), 0);
}

}  // namespace
