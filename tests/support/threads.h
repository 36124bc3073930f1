// Runs test code on a thread with a small, fixed stack, to show that a walk
// over a deep tree does not recurse along it.
#pragma once

#include <cstddef>
#include <functional>

namespace vellum_test {

inline constexpr std::size_t kOneMiB = 1024 * 1024;

// Runs `body` on a new thread whose stack is `stackBytes` and waits for it.
void runOnThreadWithStack(std::size_t stackBytes, const std::function<void()>& body);

}  // namespace vellum_test
