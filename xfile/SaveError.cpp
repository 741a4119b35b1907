#include <cstdio>

#include "platform/win/WinUser.h"
#include "xfile/XFile.h"

void ThrowSaveError(const char* callText, const char* sourceFile, int line, HRESULT hr) {
    static char message[4096];
    std::snprintf(message, sizeof message, "Error saving .X file: 0x%08x (%s)\n%s:%d: %s\n",
                  static_cast<unsigned>(hr), HResultName(hr), sourceFile, line, callText);
    OutputDebugStringA(message);
    throw static_cast<const char*>(message);
}
