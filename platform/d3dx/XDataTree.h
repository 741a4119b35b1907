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
};

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
