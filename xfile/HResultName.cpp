#include "xfile/HResultName.h"

#include <algorithm>
#include <iterator>

namespace {

constexpr HResultNameEntry kNames[] = {
#include "xfile/HResultNames.inc"
};

}  // namespace

std::span<const HResultNameEntry> HResultNameTable() {
    return kNames;
}

const char* HResultName(HRESULT hr) {
    const DWORD code = static_cast<DWORD>(hr);
    const auto* found =
        std::lower_bound(std::begin(kNames), std::end(kNames), code,
                         [](const HResultNameEntry& entry, DWORD c) { return entry.code < c; });
    if (found != std::end(kNames) && found->code == code) return found->name;
    return "Unknown";
}
