#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "platform/d3dx/XReader.h"
#include "platform/d3dx/XTemplateSets.h"

namespace d3dx {
namespace {

std::span<const std::uint8_t> Bytes(const char* text) {
    return {reinterpret_cast<const std::uint8_t*>(text), std::strlen(text)};
}

XTemplateRegistry RegisterStandardSets() {
    XTemplateRegistry registry;
    XReadError error;
    // The sets are checked when they are generated; failing here means a broken build.
    if (FAILED(
            RegisterTemplateBlock({D3DRM_XTEMPLATES, D3DRM_XTEMPLATE_BYTES}, registry, &error)) ||
        FAILED(RegisterTemplateBlock(Bytes(XSKINEXP_TEMPLATES), registry, &error)) ||
        FAILED(RegisterTemplateBlock(Bytes(XEXTENSIONS_TEMPLATES), registry, &error))) {
        std::fprintf(stderr, "standard .X templates: %s\n", error.message.c_str());
        std::abort();
    }
    return registry;
}

}  // namespace

const XTemplateRegistry& StandardTemplates() {
    static const XTemplateRegistry registry = RegisterStandardSets();
    return registry;
}

}  // namespace d3dx
