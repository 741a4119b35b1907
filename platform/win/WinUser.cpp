#include "platform/win/WinUser.h"

#include <dlfcn.h>

#include <cstring>
#include <mutex>
#include <utility>

namespace {

struct Sinks {
    std::mutex lock;
    MessageBoxSink messageBox;
    std::function<void(const std::string&)> debugOutput;
    std::map<HINSTANCE, std::map<UINT, std::string>> stringTables;
};

Sinks& TheSinks() {
    static Sinks sinks;
    return sinks;
}

}  // namespace

int MessageBoxA(HWND hWnd, LPCSTR lpText, LPCSTR lpCaption, UINT uType) {
    MessageBoxSink sink;
    {
        std::lock_guard guard(TheSinks().lock);
        sink = TheSinks().messageBox;
    }
    if (sink) return sink(hWnd, lpText ? lpText : "", lpCaption ? lpCaption : "Error", uType);
    return UnattendedAnswer(uType);
}

int UnattendedAnswer(UINT uType) {
    switch (uType & 0xF) {
        case MB_OK:
            return IDOK;
        case MB_YESNO:
            return IDNO;
        default:
            return IDCANCEL;
    }
}

MessageBoxSink SetMessageBoxSink(MessageBoxSink sink) {
    std::lock_guard guard(TheSinks().lock);
    return std::exchange(TheSinks().messageBox, std::move(sink));
}

void OutputDebugStringA(LPCSTR lpOutputString) {
    std::function<void(const std::string&)> sink;
    {
        std::lock_guard guard(TheSinks().lock);
        sink = TheSinks().debugOutput;
    }
    if (sink && lpOutputString != nullptr) sink(lpOutputString);
}

void SetDebugOutputSink(std::function<void(const std::string& text)> sink) {
    std::lock_guard guard(TheSinks().lock);
    TheSinks().debugOutput = std::move(sink);
}

void RegisterStringTable(HINSTANCE module, std::map<UINT, std::string> table) {
    std::lock_guard guard(TheSinks().lock);
    TheSinks().stringTables[module] = std::move(table);
}

int LoadStringA(HINSTANCE hInstance, UINT uID, LPSTR lpBuffer, int cchBufferMax) {
    if (lpBuffer == nullptr || cchBufferMax <= 0) return 0;
    std::lock_guard guard(TheSinks().lock);
    auto module = TheSinks().stringTables.find(hInstance);
    if (module == TheSinks().stringTables.end()) return 0;
    auto text = module->second.find(uID);
    if (text == module->second.end()) return 0;
    std::size_t length = std::min(text->second.size(), static_cast<std::size_t>(cchBufferMax - 1));
    std::memcpy(lpBuffer, text->second.data(), length);
    lpBuffer[length] = '\0';
    return static_cast<int>(length);
}

HINSTANCE ModuleHandleOf(const void* address) {
    Dl_info info{};
    if (dladdr(address, &info) == 0) return nullptr;
    return info.dli_fbase;
}
