#include "platform/d3dx/XFileIO.h"

#include <cerrno>
#include <cstdio>

namespace d3dx {

HRESULT ReadWholeFile(const std::string& path, XBytes& out) {
    std::FILE* file = std::fopen(path.c_str(), "rb");
    if (file == nullptr) {
        if (errno == ENOENT) return D3DXFERR_FILENOTFOUND;
        return errno == EACCES ? E_ACCESSDENIED : D3DXFERR_BADFILE;
    }
    out.clear();
    std::uint8_t chunk[65536];
    std::size_t got;
    while ((got = std::fread(chunk, 1, sizeof chunk, file)) > 0)
        out.insert(out.end(), chunk, chunk + got);
    bool failed = std::ferror(file) != 0;
    std::fclose(file);
    return failed ? D3DXFERR_BADFILE : S_OK;
}

}  // namespace d3dx
