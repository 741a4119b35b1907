// Feeds arbitrary bytes to template registration and to the .X reader (every form). A file
// that reads is written again in the binary form, and that must read back the same.
#include <cstdint>
#include <cstdlib>
#include <span>

#include "platform/d3dx/XImage.h"
#include "platform/d3dx/XSaveTree.h"

namespace {

std::unique_ptr<xfile::XSaveNode> ToSaveNode(const xfile::XTemplateRegistry& templates,
                                             const xfile::XDataObject& object) {
    auto node = std::make_unique<xfile::XSaveNode>();
    const xfile::XTemplate* tmpl = templates.FindByGuid(object.templateGuid);
    node->templateIndex = static_cast<std::size_t>(tmpl - &templates.At(0));
    node->name = object.name;
    node->id = object.id;
    node->payload = object.payload;
    for (const auto& child : object.children) {
        if (child.IsReference()) {
            auto reference = std::make_unique<xfile::XSaveNode>();
            reference->isReference = true;
            reference->name = child.referenceName;
            reference->id = child.referenceGuid;
            node->children.push_back(std::move(reference));
        } else {
            node->children.push_back(ToSaveNode(templates, *child.object));
        }
    }
    return node;
}

bool SameObject(const xfile::XDataObject& a, const xfile::XDataObject& b) {
    if (a.templateGuid != b.templateGuid || a.name != b.name || a.id != b.id || a.payload != b.payload ||
        a.children.size() != b.children.size()) {
        return false;
    }
    for (std::size_t i = 0; i < a.children.size(); ++i) {
        const auto& x = a.children[i];
        const auto& y = b.children[i];
        if (x.IsReference() != y.IsReference()) return false;
        if (x.IsReference() ? (x.referenceName != y.referenceName || x.referenceGuid != y.referenceGuid)
                            : !SameObject(*x.object, *y.object)) {
            return false;
        }
    }
    return true;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    std::span<const std::uint8_t> input(data, size);
    xfile::XTemplateRegistry registry = xfile::StandardTemplates();
    xfile::XReadError error;
    (void)xfile::RegisterTemplateBlock(input, registry, &error);

    xfile::XFileContents contents;
    if (FAILED(xfile::ReadXImage(input, xfile::StandardTemplates(), contents, &error))) return 0;

    xfile::XSaveNodes roots;
    for (const auto& object : contents.objects) roots.push_back(ToSaveNode(contents.templates, object));
    xfile::XBytes image = xfile::WriteBinaryImage(contents.templates, roots);
    xfile::XFileContents again;
    if (FAILED(xfile::ReadXImage(image, contents.templates, again, &error))) std::abort();
    if (again.objects.size() != contents.objects.size()) std::abort();
    for (std::size_t i = 0; i < again.objects.size(); ++i) {
        if (!SameObject(again.objects[i], contents.objects[i])) std::abort();
    }
    return 0;
}
