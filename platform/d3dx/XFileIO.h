// Whole-file reading, with failures as result codes. Files are written with
// WriteFileAtomically (platform/win/FileIO.h).
#pragma once

#include <span>
#include <string>

#include "platform/d3dx/XBinaryTokens.h"
#include "platform/win/FileIO.h"
#include "platform/win/HResult.h"

namespace d3dx {

// Reads a whole file. D3DXFERR_FILENOTFOUND when it does not exist, E_ACCESSDENIED when it
// may not be read, D3DXFERR_BADFILE for other read errors.
HRESULT ReadWholeFile(const std::string& path, XBytes& out);

}  // namespace d3dx
