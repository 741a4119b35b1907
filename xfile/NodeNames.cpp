#include <string>

#include "xfile/XFile.h"

namespace {

// Characters that cannot stand in an object name of the text form.
bool IsReplacedByUnderscore(signed char c) {
    if (c <= 32) return true;  // control characters, the space, and every byte of 128 and above
    switch (c) {
        case '(': case ')': case '#': case '>': case '.': case ':': case ';': case '<': return true;
        default: return false;
    }
}

}  // namespace

const char* MakeNodeName(const char* name, const char* prefix) {
    // Grows to fit: a name of any length is kept whole.
    static std::string buffer;
    buffer.clear();
    if (prefix != nullptr) {
        buffer += prefix;
        buffer += '-';
    }
    if (name != nullptr) buffer += name;
    for (char& c : buffer) {
        if (c == '"') c = '\'';
        else if (IsReplacedByUnderscore(static_cast<signed char>(c))) c = '_';
    }
    return buffer.c_str();
}
