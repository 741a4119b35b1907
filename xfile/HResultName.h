// Symbolic names of result codes, as the Windows SDK and DirectX SDK headers spell them.
#pragma once

#include <span>

#include "platform/win/WinTypes.h"

// The name of hr: "E_OUTOFMEMORY" for 0x8007000E, "S_OK" for 0, "ERROR_FILE_NOT_FOUND" for
// the plain Win32 code 2 and for its HRESULT form 0x80070002. A code that no header names
// gives "Unknown". The returned text is static.
const char* HResultName(HRESULT hr);

// One row of the table behind HResultName.
struct HResultNameEntry {
    DWORD code;
    const char* name;
};

// The whole table, sorted by code as an unsigned number, each code once. It is generated
// by scripts/generate-hresult-names into xfile/HResultNames.inc.
std::span<const HResultNameEntry> HResultNameTable();
