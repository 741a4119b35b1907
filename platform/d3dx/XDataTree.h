// A .X file read into memory: data objects with their packed payloads, children and
// references in file order.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "platform/d3dx/XTemplate.h"

namespace d3dx {

enum class XFileForm : std::uint8_t { Text, Binary, CompressedText, CompressedBinary };

const char* FormName(XFileForm form);  // "txt", "bin", "tzip", "bzip"

struct XDataObject;

// A child is either an object or a by-name (or by-GUID) reference to an earlier object.
struct XChild {
    std::unique_ptr<XDataObject> object;
    std::string referenceName;
    std::optional<GUID> referenceGuid;

    bool IsReference() const { return object == nullptr; }
};

struct XDataObject {
    GUID templateGuid;
    std::string templateName;
    std::string name;        // empty for an unnamed object
    std::optional<GUID> id;  // instance GUID, when the file gives one
    std::vector<std::uint8_t> payload;
    std::vector<XChild> children;
    std::size_t offset = 0;  // where the object starts in the uncompressed data

    XDataObject() = default;
    XDataObject(XDataObject&&) noexcept = default;
    XDataObject& operator=(XDataObject&&) noexcept = default;
    // Frees the objects below level by level: a file may nest objects a hundred thousand
    // deep, and a destructor call per level would run out of stack long before that.
    ~XDataObject();
};

// Visits `root` and every object and reference below it in file order, keeping the open
// objects on a list of its own rather than on the call stack, so any depth the reader
// accepts can be walked. `enter(object, depth)` sees an object before its children,
// `leave(object, depth)` after them, `reference(child, depth)` a reference child; `root`
// has depth 0.
template <typename Enter, typename Reference, typename Leave>
void WalkDataTree(const XDataObject& root, Enter&& enter, Reference&& reference, Leave&& leave) {
    struct Open {
        const XDataObject* object;
        std::size_t nextChild;
    };
    std::vector<Open> open;
    enter(root, std::size_t{0});
    open.push_back({&root, 0});
    while (!open.empty()) {
        Open& top = open.back();
        const std::vector<XChild>& children = top.object->children;
        if (top.nextChild == children.size()) {
            const XDataObject& done = *top.object;
            open.pop_back();
            leave(done, open.size());
            continue;
        }
        const XChild& child = children[top.nextChild++];
        if (child.IsReference()) {
            reference(child, open.size());
            continue;
        }
        enter(*child.object, open.size());
        open.push_back({child.object.get(), 0});
    }
}

struct XFileContents {
    XFileForm form = XFileForm::Text;
    int floatBits = 32;
    int minorVersion = 3;
    std::vector<XDataObject> objects;
    // The templates the objects were read with: those registered before reading plus
    // those defined in the file.
    XTemplateRegistry templates;
};

}  // namespace d3dx
