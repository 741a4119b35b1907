#include "platform/d3dx/XFileIO.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <vector>

namespace xfile {
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
        default: return D3DXFERR_BADFILE;
    }
}

bool WriteAll(int fd, std::span<const std::uint8_t> bytes) {
    while (!bytes.empty()) {
        ssize_t written = ::write(fd, bytes.data(), bytes.size());
        if (written < 0) {
            if (errno == EINTR) continue;
            return false;
        }
        bytes = bytes.subspan(static_cast<std::size_t>(written));
    }
    return true;
}

// New files get the usual permissions, as the process's umask allows.
mode_t DefaultFileMode() {
    mode_t mask = ::umask(0);
    ::umask(mask);
    return 0666 & ~mask;
}

}  // namespace

HRESULT ReadWholeFile(const std::string& path, XBytes& out) {
    std::FILE* file = std::fopen(path.c_str(), "rb");
    if (file == nullptr) {
        if (errno == ENOENT) return D3DXFERR_FILENOTFOUND;
        return errno == EACCES ? E_ACCESSDENIED : D3DXFERR_BADFILE;
    }
    out.clear();
    std::uint8_t chunk[65536];
    std::size_t got;
    while ((got = std::fread(chunk, 1, sizeof chunk, file)) > 0) out.insert(out.end(), chunk, chunk + got);
    bool failed = std::ferror(file) != 0;
    std::fclose(file);
    return failed ? D3DXFERR_BADFILE : S_OK;
}

HRESULT WriteFileAtomically(const std::string& path, std::span<const std::uint8_t> bytes) {
    std::string temporary = path + ".tmp-XXXXXX";
    std::vector<char> name(temporary.begin(), temporary.end());
    name.push_back('\0');
    int fd = ::mkstemp(name.data());
    if (fd < 0) return ResultOfErrno(errno);
    bool ok = ::fchmod(fd, DefaultFileMode()) == 0 && WriteAll(fd, bytes) && ::fsync(fd) == 0;
    int error = errno;
    if (::close(fd) != 0 && ok) ok = false, error = errno;
    if (ok && ::rename(name.data(), path.c_str()) != 0) ok = false, error = errno;
    if (!ok) {
        ::unlink(name.data());
        return ResultOfErrno(error);
    }
    return S_OK;
}

}  // namespace xfile
