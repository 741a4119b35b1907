#include <cstdio>
#include <string>

#include "platform/win/WinUser.h"
#include "xfile/XFile.h"

void ThrowSaveError(const char* callText, const char* sourceFile, int line, HRESULT hr) {
    static char message[4096];
    // The file library's own words for the failure say which object and which value; a
    // result code alone leaves the user searching the whole scene.
    std::string detail = d3dx::LastFailureDetail(hr);
    if (!detail.empty()) detail += '\n';
    std::snprintf(message, sizeof message, "Error saving .X file: 0x%08x (%s)\n%s:%d: %s\n%s",
                  static_cast<unsigned>(hr), HResultName(hr), sourceFile, line, callText,
                  detail.c_str());
    OutputDebugStringA(message);
    throw static_cast<const char*>(message);
}
