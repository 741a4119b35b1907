#include "platform/d3dx/XDataTree.h"

namespace d3dx {
namespace {

// Moves the objects among `children` to `pending` and drops the rest.
void TakeObjects(std::vector<XChild>& children,
                 std::vector<std::unique_ptr<XDataObject>>& pending) {
    for (XChild& child : children) {
        if (child.object) pending.push_back(std::move(child.object));
    }
    children.clear();
}

}  // namespace

XDataObject::~XDataObject() {
    // Most objects are leaves: nothing to take apart.
    if (children.empty()) return;
    // Every object is emptied of its children before it is freed, so its own destructor
    // ends here at once; the objects still to free wait in `pending`.
    std::vector<std::unique_ptr<XDataObject>> pending;
    TakeObjects(children, pending);
    while (!pending.empty()) {
        std::unique_ptr<XDataObject> object = std::move(pending.back());
        pending.pop_back();
        TakeObjects(object->children, pending);
    }
}

}  // namespace d3dx
