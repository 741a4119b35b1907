// Whole-file reading and atomic writing, with failures as result codes.
#pragma once

#include <span>
#include <string>

#include "platform/d3dx/XBinaryTokens.h"
#include "platform/win/HResult.h"

namespace xfile {

// Reads a whole file. D3DXFERR_FILENOTFOUND when it does not exist, E_ACCESSDENIED when it
// may not be read, D3DXFERR_BADFILE for other read errors.
HRESULT ReadWholeFile(const std::string& path, XBytes& out);

// Writes `bytes` to a new temporary file beside `path`, flushes it to disk and renames it
// over `path`, so that a failure leaves no new file and any previous file untouched.
// Results: HRESULT_FROM_WIN32(ERROR_PATH_NOT_FOUND) for a missing directory,
// E_ACCESSDENIED without permission, HRESULT_FROM_WIN32(ERROR_DISK_FULL) when the disk is
// full, D3DXFERR_BADFILE for any other failure.
HRESULT WriteFileAtomically(const std::string& path, std::span<const std::uint8_t> bytes);

}  // namespace xfile
