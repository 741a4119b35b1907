// Writing a whole file so that it appears whole or not at all.
#pragma once

#include <cstdint>
#include <span>
#include <string>

#include "platform/win/HResult.h"

// Writes `bytes` to a new temporary file beside `path`, flushes it to disk and renames it
// over `path`: a failure leaves no new file and any previous file untouched. A replaced
// file keeps its permissions; a new one gets the usual ones the umask allows.
// Results: HRESULT_FROM_WIN32(ERROR_PATH_NOT_FOUND) for a missing directory,
// E_ACCESSDENIED without permission, HRESULT_FROM_WIN32(ERROR_DISK_FULL) when the disk is
// full, E_FAIL for any other failure.
HRESULT WriteFileAtomically(const std::string& path, std::span<const std::uint8_t> bytes);
