// libFuzzer target: arbitrary bytes as SQL text through the C interface. A
// result must be well formed and its buffers released; anything else (a
// crash, a leak, a sanitizer report, a malformed record) is a finding.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>

#include "vellum_sql_parser.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size > 1048577) return -1;  // past the limit every input gives the same answer
  ParseResult r = vellum_parse_sql(reinterpret_cast<const char*>(data), static_cast<int32_t>(size));
  bool wellFormed = r.status == 0 ? (r.data != nullptr && r.data_len > 0 && r.error == nullptr && r.error_len == 0)
                                  : (r.status == 1 && r.data == nullptr && r.data_len == 0 && r.error != nullptr &&
                                     r.error[r.error_len] == '\0');
  if (!wellFormed) std::abort();
  // A defect is a bug of the library, never an answer to input.
  if (r.status == 1 && std::strncmp(r.error, "internal parser defect", 22) == 0) std::abort();
  vellum_free_buffer(r.data);
  vellum_free_buffer(r.error);
  return 0;
}
