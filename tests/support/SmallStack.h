// Running work on a thread with a small stack: a walk over a deep tree that takes a call per
// level runs out of it within a few thousand levels, while one that keeps its place on the
// heap needs a few kilobytes at any depth. So a deep tree handled there proves the second.
#pragma once

#include <cstddef>
#include <functional>

namespace tarvo::testsupport {

// Runs `work` to its end on a thread of its own with a stack of `stackBytes`, and passes on
// what it throws. Test assertions belong outside `work`: they are not made for other threads.
void RunOnSmallStack(const std::function<void()>& work, std::size_t stackBytes);

}  // namespace tarvo::testsupport
