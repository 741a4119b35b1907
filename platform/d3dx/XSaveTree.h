// The tree a save object collects before it is serialised: data objects with their copied
// payloads, and by-name references, in the order they were added.
#pragma once

#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "platform/d3dx/XBinaryTokens.h"
#include "platform/d3dx/XPayloadWriter.h"
#include "platform/d3dx/XTemplate.h"

namespace d3dx {

struct XSaveNode {
    bool isReference = false;
    std::size_t templateIndex = 0;  // in the file object's registry; unused for references
    std::string name;               // empty: unnamed object, or a reference by GUID only
    std::optional<GUID> id;
    XPayloadBytes payload;  // exactly the bytes the template's members take
    std::vector<std::unique_ptr<XSaveNode>> children;
    // The object this one was added to (null at the top level), for messages that say
    // where an object sits.
    const XSaveNode* parent = nullptr;

    XSaveNode() = default;
    XSaveNode(const XSaveNode&) = delete;
    XSaveNode& operator=(const XSaveNode&) = delete;
    // Frees the nodes below level by level, without a destructor call per level on the
    // stack: a save tree may nest data objects a hundred thousand deep.
    ~XSaveNode();
};

using XSaveNodes = std::vector<std::unique_ptr<XSaveNode>>;

// Visits every node of `roots` in file order, keeping the open objects on a list of its own
// rather than on the call stack. `enter(node, depth)` sees each node, references
// included, before the children of an object; `leave(node, depth)` sees an object after its
// children. Roots have depth 0.
template <typename Enter, typename Leave>
void WalkSaveTree(const XSaveNodes& roots, Enter&& enter, Leave&& leave) {
    struct Open {
        const XSaveNodes* siblings;
        std::size_t next;
        const XSaveNode* owner;  // null for the roots
    };
    std::vector<Open> open{{&roots, 0, nullptr}};
    while (!open.empty()) {
        Open& top = open.back();
        if (top.next == top.siblings->size()) {
            const XSaveNode* owner = top.owner;
            open.pop_back();
            if (owner != nullptr) leave(*owner, open.size() - 1);
            continue;
        }
        const XSaveNode& node = *(*top.siblings)[top.next++];
        enter(node, open.size() - 1);
        if (!node.isReference) open.push_back({&node.children, 0, &node});
    }
}

class XImageSink;

// Whole file images, header included, ready to be written or compressed. Each begins with
// the definitions of the templates its data objects use (TemplatesUsedBy), in its own form.
// The forms with a sink hand the image over in pieces as it is made (XImageOutput.h); the
// others return it whole.
XBytes WriteTextImage(const XTemplateRegistry& registry, const XSaveNodes& roots);
XBytes WriteBinaryImage(const XTemplateRegistry& registry, const XSaveNodes& roots);
void WriteTextImage(const XTemplateRegistry& registry, const XSaveNodes& roots, XImageSink& sink);
void WriteBinaryImage(const XTemplateRegistry& registry, const XSaveNodes& roots, XImageSink& sink);

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

// Calls `write` with a sink for a whole image and gives `out` its compressed form as it is
// made: the header with its four form bytes replaced ("txt " -> "tzip", "bin " ->
// "bzip"), then the body compressed block by block (MsZipWriter), whose size DWORD is
// mended at the end. Throws what `write` and MsZipWriter throw.
void WriteCompressedImage(XImageSink& out, const std::function<void(XImageSink&)>& write);

// Whether a name can stand in the text form so that a reader reads the same name back:
// no white space or control bytes, none of { } [ ] ( ) , ; < > " , no comment start,
// not a number and not the word 'template'.
bool IsWritableTextName(std::string_view name);
// Why `name` cannot stand in the text form ("holds a space", "reads as a number", ...);
// empty when it can.
std::string TextNameProblem(std::string_view name);

// How messages name a data object: its template and name, as in: Frame "Box01". An unnamed
// object also names the objects it sits in, up to the nearest named one, as in: unnamed
// Mesh in Frame "Box01", since that is what a user can find it by.
std::string DescribeSaveNode(const XTemplateRegistry& registry, const XSaveNode& node);

// Thrown by the text writer for a name or string it cannot spell. `what` says which object
// or template and why.
struct XUnwritableText {
    std::string what;
};

}  // namespace d3dx
