#include <string>

#include "mesh/Mesh.h"

const char* MakeObjectName(const char* text, int index) {
    // Grows to fit: a name of any length is kept whole.
    static std::string buffer;
    buffer.clear();
    if (text != nullptr) {
        if (*text >= '0' && *text <= '9') buffer = "TDX";
        buffer += text;
    }
    if (index != -1) buffer += "Sub" + std::to_string(index);
    MakeLegalName(buffer);
    return buffer.c_str();
}
