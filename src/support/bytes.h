// An owned, malloc'd byte buffer: the form in which a finished document
// travels from a front end to the exported function.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <memory>
#include <string>

namespace vellum {

struct FreeDeleter {
  void operator()(void* p) const noexcept { std::free(p); }
};

struct DocumentBytes {
  std::unique_ptr<std::uint8_t, FreeDeleter> data;
  std::size_t size = 0;
  // The message of a syntax error, returned rather than raised where that
  // spares the unwinding (then there are no bytes); empty otherwise.
  std::string failure;
};

}  // namespace vellum
