// The tree a save object collects before it is serialised: data objects with their copied
// payloads, and by-name references, in the order they were added.
#pragma once

#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "platform/d3dx/XBinaryTokens.h"
#include "platform/d3dx/XTemplate.h"

namespace d3dx {

struct XSaveNode {
    bool isReference = false;
    std::size_t templateIndex = 0;  // in the file object's registry; unused for references
    std::string name;               // empty: unnamed object, or a reference by GUID only
    std::optional<GUID> id;
    XBytes payload;  // exactly the bytes the template's members take
    std::vector<std::unique_ptr<XSaveNode>> children;
};

using XSaveNodes = std::vector<std::unique_ptr<XSaveNode>>;

// Whole file images, header included, ready to be written or compressed. Each begins with
// the definitions of the templates its data objects use (TemplatesUsedBy), in its own form.
XBytes WriteTextImage(const XTemplateRegistry& registry, const XSaveNodes& roots);
XBytes WriteBinaryImage(const XTemplateRegistry& registry, const XSaveNodes& roots);

// Registry indices of the templates the data objects of `roots` use at any depth, each
// once: the templates named by a template's members come before it, the rest in order of
// first use.
std::vector<std::size_t> TemplatesUsedBy(const XTemplateRegistry& registry,
                                         const XSaveNodes& roots);

// One template definition as text ("template Name { <GUID> members restriction }", one
// member per line; throws XUnwritableText for a name text cannot hold) or as binary tokens
// (TEMPLATE, NAME, '{', GUID, members, restriction, '}').
void AppendTemplateText(const XTemplateRegistry& registry, const XTemplate& tmpl, XBytes& out);
void AppendTemplateTokens(const XTemplateRegistry& registry, const XTemplate& tmpl, XBytes& out);

// Replaces the four form bytes of a header ("txt " -> "tzip", "bin " -> "bzip") and
// compresses the body behind it.
XBytes CompressImage(const XBytes& image);

// Whether a name can stand in the text form so that a reader reads the same name back:
// no white space or control bytes, none of { } [ ] ( ) , ; < > " , no comment start,
// not a number and not the word 'template'.
bool IsWritableTextName(std::string_view name);

// Thrown by the text writer for an object name or string it cannot spell.
struct XUnwritableText {
    std::string what;
};

}  // namespace d3dx
