// Whole files: read in one call, and written so that they appear whole or not at all.
#pragma once

#include <cstddef>
#include <cstdint>
#include <limits>
#include <span>
#include <string>

#include "platform/win/HResult.h"

// The Windows error numbers that the file results below are made from.
constexpr DWORD ERROR_FILE_NOT_FOUND = 2;
constexpr DWORD ERROR_PATH_NOT_FOUND = 3;
constexpr DWORD ERROR_READ_FAULT = 30;
constexpr DWORD ERROR_DISK_FULL = 112;

// Writes `bytes` to a new temporary file beside `path`, flushes it to disk and renames it
// over `path`: a failure leaves no new file and any previous file untouched. A replaced
// file keeps its permissions; a new one gets the usual ones the umask allows.
// Results: HRESULT_FROM_WIN32(ERROR_PATH_NOT_FOUND) for a missing directory,
// E_ACCESSDENIED without permission, HRESULT_FROM_WIN32(ERROR_DISK_FULL) when the disk is
// full, E_FAIL for any other failure.
HRESULT WriteFileAtomically(const std::string& path, std::span<const std::uint8_t> bytes);

// A read limit that no file reaches.
constexpr std::size_t kWholeFile = std::numeric_limits<std::size_t>::max();

// Reads the file at `path` into `bytes`, or only its first `maxBytes` bytes. On failure
// `bytes` is left empty and errno holds the system's reason, for callers that show it.
// Results: HRESULT_FROM_WIN32(ERROR_FILE_NOT_FOUND) when there is no such file,
// E_ACCESSDENIED when it may not be opened for reading, E_FAIL when it cannot be opened for
// any other reason, HRESULT_FROM_WIN32(ERROR_READ_FAULT) when it was opened but reading it
// failed (a directory opens but cannot be read).
[[nodiscard]] HRESULT ReadWholeFile(const std::string& path, std::string& bytes,
                                    std::size_t maxBytes = kWholeFile);
