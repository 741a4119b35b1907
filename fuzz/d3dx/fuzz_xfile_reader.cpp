// Feeds arbitrary bytes to template registration and to the .X reader (every form). A file
// that reads is written again in the binary form, and that must read back the same.
#include <cstdint>
#include <cstdlib>
#include <span>
#include <utility>
#include <vector>

#include "fuzz/PlantedFault.h"
#include "platform/d3dx/XReader.h"
#include "platform/d3dx/XSaveTree.h"

namespace {

// The reader accepts objects nested far deeper than a call per level could go, so both
// helpers keep their place in the tree on lists of their own.

std::unique_ptr<d3dx::XSaveNode> ToSaveNode(const d3dx::XTemplateRegistry& templates,
                                            const d3dx::XDataObject& root) {
    std::unique_ptr<d3dx::XSaveNode> top;
    std::vector<d3dx::XSaveNode*> open;  // open[depth]: the node made for that level
    auto attach = [&](std::unique_ptr<d3dx::XSaveNode> node, std::size_t depth) {
        node->parent = depth > 0 ? open[depth - 1] : nullptr;
        d3dx::XSaveNode* made = node.get();
        if (depth == 0)
            top = std::move(node);
        else
            open[depth - 1]->children.push_back(std::move(node));
        return made;
    };
    d3dx::WalkDataTree(
        root,
        [&](const d3dx::XDataObject& object, std::size_t depth) {
            auto node = std::make_unique<d3dx::XSaveNode>();
            const d3dx::XTemplate* tmpl = templates.FindByGuid(object.templateGuid);
            node->templateIndex = static_cast<std::size_t>(tmpl - &templates.At(0));
            node->name = object.name;
            node->id = object.id;
            node->payload = object.payload;
            open.resize(depth);
            open.push_back(attach(std::move(node), depth));
        },
        [&](const d3dx::XChild& child, std::size_t depth) {
            auto reference = std::make_unique<d3dx::XSaveNode>();
            reference->isReference = true;
            reference->name = child.referenceName;
            reference->id = child.referenceGuid;
            attach(std::move(reference), depth);
        },
        [](const d3dx::XDataObject&, std::size_t) {});
    return top;
}

bool SameHead(const d3dx::XDataObject& a, const d3dx::XDataObject& b) {
    return a.templateGuid == b.templateGuid && a.name == b.name && a.id == b.id &&
           a.payload == b.payload && a.children.size() == b.children.size();
}

bool SameObject(const d3dx::XDataObject& first, const d3dx::XDataObject& second) {
    std::vector<std::pair<const d3dx::XDataObject*, const d3dx::XDataObject*>> pending{
        {&first, &second}};
    while (!pending.empty()) {
        auto [a, b] = pending.back();
        pending.pop_back();
        if (!SameHead(*a, *b)) return false;
        for (std::size_t i = 0; i < a->children.size(); ++i) {
            const auto& x = a->children[i];
            const auto& y = b->children[i];
            if (x.IsReference() != y.IsReference()) return false;
            if (!x.IsReference()) {
                pending.emplace_back(x.object.get(), y.object.get());
            } else if (x.referenceName != y.referenceName || x.referenceGuid != y.referenceGuid) {
                return false;
            }
        }
    }
    return true;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    tarvo::fuzz::PlantedFault(data, size);
    std::span<const std::uint8_t> input(data, size);
    d3dx::XTemplateRegistry registry = d3dx::StandardTemplates();
    d3dx::XReadError error;
    (void)d3dx::RegisterTemplateBlock(input, registry, &error);

    d3dx::XFileContents contents;
    if (FAILED(d3dx::ReadXImage(input, d3dx::StandardTemplates(), contents, &error))) return 0;

    d3dx::XSaveNodes roots;
    for (const auto& object : contents.objects)
        roots.push_back(ToSaveNode(contents.templates, object));
    d3dx::XBytes image = d3dx::WriteBinaryImage(contents.templates, roots);
    d3dx::XFileContents again;
    if (FAILED(d3dx::ReadXImage(image, contents.templates, again, &error))) std::abort();
    if (again.objects.size() != contents.objects.size()) std::abort();
    for (std::size_t i = 0; i < again.objects.size(); ++i) {
        if (!SameObject(again.objects[i], contents.objects[i])) std::abort();
    }
    return 0;
}
