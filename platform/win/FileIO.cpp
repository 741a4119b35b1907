#include "platform/win/FileIO.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <vector>

namespace {

constexpr DWORD ERROR_PATH_NOT_FOUND = 3;
constexpr DWORD ERROR_DISK_FULL = 112;

HRESULT ResultOfErrno(int error) {
    switch (error) {
        case ENOENT:
        case ENOTDIR: return HRESULT_FROM_WIN32(ERROR_PATH_NOT_FOUND);
        case EACCES:
        case EPERM:
        case EROFS: return E_ACCESSDENIED;
        case ENOSPC:
        case EDQUOT: return HRESULT_FROM_WIN32(ERROR_DISK_FULL);
        default: return E_FAIL;
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

// The permissions of the file being replaced, or those a new file gets under the umask.
mode_t ModeFor(const std::string& path) {
    struct stat existing {};
    if (::stat(path.c_str(), &existing) == 0 && S_ISREG(existing.st_mode)) return existing.st_mode & 07777;
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
