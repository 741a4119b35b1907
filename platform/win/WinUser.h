// Message boxes, debugger output and string resources. What Windows shows or keeps is
// handed to sinks that the program hosting the plug-in sets: the command line prints,
// the dialogs show, tests capture.
#pragma once

#include <functional>
#include <map>
#include <string>

#include "platform/win/WinTypes.h"

constexpr UINT MB_OK = 0x00000000;
constexpr UINT MB_OKCANCEL = 0x00000001;
constexpr UINT MB_YESNO = 0x00000004;
constexpr UINT MB_ICONERROR = 0x00000010;
constexpr UINT MB_ICONWARNING = 0x00000030;
constexpr int IDOK = 1;
constexpr int IDCANCEL = 2;
constexpr int IDYES = 6;
constexpr int IDNO = 7;

// Shows a message box through the sink and returns the button chosen. Without a sink
// nobody can answer: the result is IDOK for MB_OK boxes and IDCANCEL (or IDNO) otherwise.
int MessageBoxA(HWND hWnd, LPCSTR lpText, LPCSTR lpCaption, UINT uType);
// The answer of a box that nobody can answer: OK where that is the only button, else the
// answer that does not go ahead.
int UnattendedAnswer(UINT uType);
using MessageBoxSink =
    std::function<int(HWND owner, const std::string& text, const std::string& caption, UINT type)>;
// Returns the sink it replaces, so that whoever routes the boxes for a while can hand them
// back.
MessageBoxSink SetMessageBoxSink(MessageBoxSink sink);

// Sends a text to the debugger output sink; without one it is dropped.
void OutputDebugStringA(LPCSTR lpOutputString);
void SetDebugOutputSink(std::function<void(const std::string& text)> sink);

// String resources. A module registers its string table under its module handle;
// LoadStringA copies a string into the caller's buffer (at most cchBufferMax - 1
// characters and a zero) and returns the number of characters, 0 when the module or the
// string is unknown.
void RegisterStringTable(HINSTANCE module, std::map<UINT, std::string> table);
int LoadStringA(HINSTANCE hInstance, UINT uID, LPSTR lpBuffer, int cchBufferMax);

// The module handle of the shared library (or program) that holds `address`.
HINSTANCE ModuleHandleOf(const void* address);
