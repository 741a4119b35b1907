#include <cstdio>
#include <string>

#include "mesh/Mesh.h"

namespace {

bool IsReplacedInObjectName(signed char c) {
    if (c < 33) return true;  // control characters, the space, and every byte of 128 and above
    switch (c) {
        case '#':
        case '>':
        case ':':
        case '.':
        case '<':
            return true;
        default:
            return false;
    }
}

}  // namespace

const char* MakeObjectName(const char* text, int index) {
    // Grows to fit: a name of any length is kept whole.
    static std::string buffer;
    buffer.clear();
    if (text != nullptr) {
        if (*text >= '0' && *text <= '9') buffer = "TDX";
        buffer += text;
    }
    for (char& c : buffer) {
        if (c == '"')
            c = '\'';
        else if (IsReplacedInObjectName(static_cast<signed char>(c)))
            c = '_';
    }
    if (index != -1) buffer += "Sub" + std::to_string(index);
    return buffer.c_str();
}
