// Texts that tests build: any test binary may use this (it needs nothing of
// the library).
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace vellum_test {

// `count` copies of `piece`.
inline std::string repeat(std::string_view piece, std::size_t count) {
  std::string out;
  out.reserve(piece.size() * count);
  for (std::size_t i = 0; i < count; ++i) out += piece;
  return out;
}

}  // namespace vellum_test
