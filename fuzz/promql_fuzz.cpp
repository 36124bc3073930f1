// libFuzzer target: any bytes as PromQL text through the C interface. Every
// outcome must be a well-formed record: a complete MessagePack document, or
// a PromQL error text; never a crash, a defect or a malformed document.
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>

#ifndef MSGPACK_NO_BOOST
#define MSGPACK_NO_BOOST 1
#endif
#include <msgpack.hpp>

#include "vellum_sql_parser.h"

namespace {

void require(bool condition) {
  if (!condition) std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  // A NUL-terminated copy; the parse reads up to the first NUL byte.
  std::string text(reinterpret_cast<const char*>(data), size);
  ParseResult r = vellum_parse_promql(text.c_str(), 0);
  if (r.status == 0) {
    require(r.data != nullptr && r.data_len > 0 && r.error == nullptr && r.error_len == 0);
    msgpack::null_visitor visitor;
    std::size_t offset = 0;
    require(msgpack::parse(reinterpret_cast<const char*>(r.data), static_cast<std::size_t>(r.data_len), offset,
                           visitor));
    require(offset == static_cast<std::size_t>(r.data_len));
  } else {
    require(r.status == 1 && r.data == nullptr && r.data_len == 0 && r.error != nullptr);
    require(r.error[r.error_len] == '\0');
    static const char kPrefix[] = "PromQL parse error at line ";
    require(std::strncmp(r.error, kPrefix, sizeof kPrefix - 1) == 0);
  }
  vellum_free_buffer(r.data);
  vellum_free_buffer(r.error);
  return 0;
}
