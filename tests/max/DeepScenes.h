// Deep node trees for the tests of every layer that walks one (scene file, host scene,
// exporter), and a way to show that a walk keeps its place on the heap, not on the stack.
#pragma once

#include <cstddef>
#include <exception>
#include <functional>
#include <stdexcept>
#include <string>

#include "platform/max/SceneData.h"
#include "tests/support/SmallStack.h"

namespace tarvo::testscenes {

// The deepest nesting a scene file may hold, as its format documents it.
inline constexpr int kDeepestChain = 10000;

// The stack of RunOnSmallStack. A walk that takes a call per level needs at least a return
// address and a saved frame pointer (16 bytes) a level, more than 128 KiB over 10,000
// levels; a walk that keeps its place on the heap needs a few kilobytes at any depth.
inline constexpr std::size_t kSmallStackBytes = 128 * 1024;

// Runs `work` to its end on a thread with a stack of kSmallStackBytes, and passes on what it
// throws. Assertions belong outside `work`.
inline void RunOnSmallStack(const std::function<void()>& work) {
    testsupport::RunOnSmallStack(work, kSmallStackBytes);
}

// A chain of `depth` nodes named N0, N1, ..., each the only child of the one before, every
// one of kind `kind` and moved by (1, 0, 0) from its parent.
inline scene::SceneData NodeChain(int depth, scene::ObjectKind kind) {
    scene::SceneData data;
    data.nodes.reserve(static_cast<std::size_t>(depth));
    for (int i = 0; i < depth; ++i) {
        scene::NodeData node;
        node.name = "N" + std::to_string(i);
        node.parent = i - 1;
        node.object = kind;
        node.transform.position = Point3(1, 0, 0);
        data.nodes.push_back(std::move(node));
    }
    return data;
}

// The same chain as scene-file text, helpers without a transform; `innermost` is put into
// the deepest node's members.
inline std::string NodeChainText(int depth, const std::string& innermost = "") {
    std::string text = R"({"format": "tarvo-scene", "version": 1, "nodes": [)";
    for (int i = 0; i < depth; ++i) {
        text += R"({"name": "N)" + std::to_string(i) + R"(", "object": "helper")";
        text += i + 1 < depth ? R"(, "children": [)" : innermost;
    }
    for (int i = 0; i < depth; ++i) text += i == 0 ? "}" : "]}";
    return text + "]}";
}

// The JSON pointer of the deepest node of a chain of `depth` nodes.
inline std::string ChainPointer(int depth) {
    std::string pointer = "/nodes/0";
    for (int i = 1; i < depth; ++i) pointer += "/children/0";
    return pointer;
}

}  // namespace tarvo::testscenes
