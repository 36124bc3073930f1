// What a parse call answered, as text that tests compare.
#pragma once

#include <cstddef>
#include <string>

#include "vellum_sql_parser.h"

namespace vellum_test {

// "ok:" and the document's bytes, or "error:" and the error text; the
// buffers stay the caller's to release.
inline std::string describe(const ParseResult& r) {
  if (r.status == 0) return "ok:" + std::string(reinterpret_cast<const char*>(r.data), static_cast<std::size_t>(r.data_len));
  return "error:" + std::string(r.error, static_cast<std::size_t>(r.error_len));
}

}  // namespace vellum_test
