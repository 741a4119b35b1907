#include "platform/win/FileIO.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <vector>

namespace {

// Bytes asked of the system per read.
constexpr std::size_t kReadChunkBytes = 65536;

HRESULT ResultOfErrno(int error) {
    switch (error) {
        case ENOENT:
        case ENOTDIR:
            return HRESULT_FROM_WIN32(ERROR_PATH_NOT_FOUND);
        case EACCES:
        case EPERM:
        case EROFS:
            return E_ACCESSDENIED;
        case ENOSPC:
        case EDQUOT:
            return HRESULT_FROM_WIN32(ERROR_DISK_FULL);
        default:
            return E_FAIL;
    }
}

bool WriteAll(int fd, std::span<const std::uint8_t> bytes) {
    while (!bytes.empty()) {
        ssize_t written = ::write(fd, bytes.data(), bytes.size());
        if (written < 0 && errno == EINTR) continue;
        if (written <= 0) return false;
        bytes = bytes.subspan(static_cast<std::size_t>(written));
    }
    return true;
}

HRESULT ResultOfOpenForReading(int error) {
    switch (error) {
        case ENOENT:
            return HRESULT_FROM_WIN32(ERROR_FILE_NOT_FOUND);
        case EACCES:
            return E_ACCESSDENIED;
        default:
            return E_FAIL;
    }
}

// Appends what is left of the open file up to `maxBytes` in all; false when a read fails.
bool ReadAll(int fd, std::string& bytes, std::size_t maxBytes) {
    std::vector<char> chunk(std::min(kReadChunkBytes, maxBytes));
    while (bytes.size() < maxBytes) {
        const std::size_t wanted = std::min(chunk.size(), maxBytes - bytes.size());
        const ssize_t got = ::read(fd, chunk.data(), wanted);
        if (got < 0 && errno == EINTR) continue;
        if (got < 0) return false;
        if (got == 0) break;
        bytes.append(chunk.data(), static_cast<std::size_t>(got));
    }
    return true;
}

// The permissions of the file being replaced, or those a new file gets under the umask.
mode_t ModeFor(const std::string& path) {
    struct stat existing {};
    if (::stat(path.c_str(), &existing) == 0 && S_ISREG(existing.st_mode))
        return existing.st_mode & 07777;
    mode_t mask = ::umask(0);
    ::umask(mask);
    return 0666 & ~mask;
}

}  // namespace

HRESULT WriteFileAtomically(const std::string& path, std::span<const std::uint8_t> bytes) {
    std::string pattern = path + ".tmp-XXXXXX";
    std::vector<char> temporary(pattern.begin(), pattern.end());
    temporary.push_back('\0');
    int fd = ::mkstemp(temporary.data());
    if (fd < 0) return ResultOfErrno(errno);
    bool ok = ::fchmod(fd, ModeFor(path)) == 0 && WriteAll(fd, bytes) && ::fsync(fd) == 0;
    int error = errno;
    if (::close(fd) != 0 && ok) ok = false, error = errno;
    if (ok && ::rename(temporary.data(), path.c_str()) != 0) ok = false, error = errno;
    if (!ok) {
        ::unlink(temporary.data());
        return ResultOfErrno(error);
    }
    return S_OK;
}

HRESULT ReadWholeFile(const std::string& path, std::string& bytes, std::size_t maxBytes) {
    bytes.clear();
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) return ResultOfOpenForReading(errno);
    const bool read = ReadAll(fd, bytes, maxBytes);
    const int error = errno;
    ::close(fd);
    if (!read) {
        bytes.clear();
        errno = error;
        return HRESULT_FROM_WIN32(ERROR_READ_FAULT);
    }
    return S_OK;
}
