// xdump: prints the data objects of a .X file with their members by name.
#include <cstdio>
#include <cstring>
#include <string>

#include "platform/d3dx/XDump.h"
#include "platform/d3dx/XReader.h"

namespace {

constexpr const char* kUsage =
    "usage: xdump [--json] FILE.x\n"
    "Prints the data objects of a DirectX .X file (text, binary or compressed), with every\n"
    "member by name, children and references in file order. The standard template sets are\n"
    "known; templates defined in the file are used too.\n"
    "  --json   print JSON instead of indented text\n"
    "  --help   show this text\n"
    "Exit status: 0 when the file was read, 1 when it could not be, 2 for a usage error.\n";

}  // namespace

int main(int argc, char** argv) {
    bool json = false;
    const char* path = nullptr;
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--json") == 0) {
            json = true;
        } else if (std::strcmp(argv[i], "--help") == 0 || std::strcmp(argv[i], "-h") == 0) {
            std::fputs(kUsage, stdout);
            return 0;
        } else if (argv[i][0] == '-' || path != nullptr) {
            std::fprintf(stderr, "xdump: unexpected argument '%s'\n%s", argv[i], kUsage);
            return 2;
        } else {
            path = argv[i];
        }
    }
    if (path == nullptr) {
        std::fputs(kUsage, stderr);
        return 2;
    }
    d3dx::XFileContents contents;
    d3dx::XReadError error;
    if (FAILED(d3dx::ReadXFile(path, d3dx::StandardTemplates(), contents, &error))) {
        std::fprintf(stderr, "xdump: %s (0x%08X)\n", error.message.c_str(),
                     static_cast<unsigned>(error.hr));
        return 1;
    }
    std::string dump = json ? d3dx::DumpJson(contents) : d3dx::DumpText(contents);
    std::fwrite(dump.data(), 1, dump.size(), stdout);
    return 0;
}
