// Whole files: read in one call, and written so that they appear whole or not at all.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <limits>
#include <span>
#include <string>
#include <string_view>

#include "platform/win/HResult.h"

// The Windows error numbers that the file results below are made from.
constexpr DWORD ERROR_FILE_NOT_FOUND = 2;
constexpr DWORD ERROR_PATH_NOT_FOUND = 3;
constexpr DWORD ERROR_READ_FAULT = 30;
constexpr DWORD ERROR_DISK_FULL = 112;
constexpr DWORD ERROR_FILENAME_EXCED_RANGE = 206;
constexpr DWORD ERROR_BAD_FILE_TYPE = 222;
constexpr DWORD ERROR_DIRECTORY_NOT_SUPPORTED = 336;
constexpr DWORD ERROR_CANT_RESOLVE_FILENAME = 1921;

// How WriteFileAtomically makes the new file before it takes the target's place.
enum class StagingFile {
    // An unnamed file in the target's directory that gets a name only once it is whole, so
    // a process killed while writing leaves nothing behind; kNamed where the file system
    // cannot make unnamed files.
    kUnnamedWhenPossible,
    // A file with a short temporary name from the start.
    kNamed,
};

// Writes `bytes` to a new file in the directory of `path`, flushes it to disk and renames
// it over `path`: the file appears whole or not at all, and a failure leaves no new file and
// any previous file untouched. The file is made under a short name of fixed length, so any
// name the file system allows can be written. When `path` is a symbolic link (or a chain of
// them), the file it finally leads to is replaced and the link stays as it is. A replaced
// file keeps its permissions; a new one gets the usual ones the umask allows.
// Results:
//   HRESULT_FROM_WIN32(ERROR_PATH_NOT_FOUND) for a missing directory;
//   E_ACCESSDENIED without permission, and for an existing file that is read-only (its owner
//     may not write it), which is kept as the owner meant it, also for the superuser;
//   HRESULT_FROM_WIN32(ERROR_DISK_FULL) when the disk is full;
//   HRESULT_FROM_WIN32(ERROR_DIRECTORY_NOT_SUPPORTED) when a directory stands at `path`;
//   HRESULT_FROM_WIN32(ERROR_BAD_FILE_TYPE) when something that is not a regular file (a
//     FIFO, a device, a socket) stands there: it is not replaced;
//   HRESULT_FROM_WIN32(ERROR_CANT_RESOLVE_FILENAME) for a loop of symbolic links or one
//     longer than kMaxSymlinkHops;
//   HRESULT_FROM_WIN32(ERROR_FILENAME_EXCED_RANGE) for a name or path too long to exist;
//   E_FAIL for any other failure.
// On failure errno holds the system's reason and LastFileWriteFailure() names the file.
[[nodiscard]] HRESULT WriteFileAtomically(const std::string& path,
                                          std::span<const std::uint8_t> bytes,
                                          StagingFile staging = StagingFile::kUnnamedWhenPossible);

// Where the producer of a streamed WriteFileAtomically puts the file's bytes. Once a write
// has failed every later call fails at once without writing, and the whole write fails
// with that first reason.
class FileOutput {
  public:
    virtual ~FileOutput() = default;
    // The next bytes of the file. False when this or an earlier write failed.
    [[nodiscard]] virtual bool Append(std::span<const std::uint8_t> bytes) = 0;
    // Replaces bytes already appended, `offset` bytes from the start of the file (a length
    // known only after what follows it). False when this or an earlier write failed.
    [[nodiscard]] virtual bool Overwrite(std::size_t offset,
                                         std::span<const std::uint8_t> bytes) = 0;
};

// WriteFileAtomically for a file made while it is written, so that it need not be held in
// memory whole: `produce` hands the bytes to the FileOutput it is given. Everything else is
// as above: the same checks before any byte is made, the same staging, fsync and rename,
// the same results. `produce` may be called again to make the file anew (when unnamed
// files turn out not to work after all), so it must give the same bytes each time. An
// exception from `produce` leaves no new file and passes to the caller.
[[nodiscard]] HRESULT WriteFileAtomically(const std::string& path,
                                          const std::function<void(FileOutput&)>& produce,
                                          StagingFile staging = StagingFile::kUnnamedWhenPossible);

// The most symbolic links followed from one path, as the Linux kernel allows.
constexpr int kMaxSymlinkHops = 40;

// The file that `path` finally names: `path` itself unless it is a symbolic link, else the
// end of its chain of links (relative links are taken from the directory of their link).
// The end need not exist, nor its directory. Directories on the way are not resolved. Results:
// S_OK, or HRESULT_FROM_WIN32(ERROR_CANT_RESOLVE_FILENAME) for a loop or a chain longer than
// kMaxSymlinkHops, and the results of WriteFileAtomically for a link that cannot be read;
// errno holds the system's reason on failure.
[[nodiscard]] HRESULT FollowSymlinks(const std::string& path, std::string& target);

// A path in `directory` that names nothing at the moment of asking: ".tarvo-", six random
// letters or digits, then `suffix`. Its length does not depend on any other name, so it
// fits wherever a name of the longest legal length does.
std::string UnusedPathIn(const std::string& directory, std::string_view suffix);

// The file and the system's reason (an errno value) of the last WriteFileAtomically that
// failed on this thread, kept as Windows keeps a thread's last error, so that a caller
// several layers above the write can still say why.
struct FileWriteFailure {
    std::string path;  // as the caller gave it
    int error = 0;
};
const FileWriteFailure& LastFileWriteFailure();
void ForgetFileWriteFailure();

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
