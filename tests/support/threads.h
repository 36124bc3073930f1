// Runs test code on a thread with a small, fixed stack, to show that a walk
// over a deep tree does not recurse along it.
#pragma once

#include <cstddef>
#include <functional>

namespace vellum_test {

inline constexpr std::size_t kOneMiB = 1024 * 1024;

// Whether the deepest inputs run at full size on a 1 MiB stack: sanitizer
// frames are much larger, so those builds use smaller inputs.
#ifdef VELLUM_NO_SANITIZER
inline constexpr bool kFullSize = true;
#else
inline constexpr bool kFullSize = false;
#endif

// Runs `body` on a new thread whose stack is `stackBytes` and waits for it.
void runOnThreadWithStack(std::size_t stackBytes, const std::function<void()>& body);

}  // namespace vellum_test
