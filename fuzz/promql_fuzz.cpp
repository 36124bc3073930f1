// libFuzzer target: any bytes as PromQL text through the C interface. The
// record must be well formed; an error must be a PromQL parse error, never a
// defect; a document must decode with msgpack-c to one {"kind", "span"}
// envelope whose spans lie inside the text.
#include <cstdint>
#include <cstring>
#include <string>
#include <string_view>

#include "document_oracle.h"
#include "fuzz_support.h"
#include "vellum_sql_parser.h"

namespace {

void require(const std::string& problem, const ParseResult& r) {
  if (!problem.empty()) vellum_fuzz::fail("promql_fuzz", problem, r.status == 1 ? r.error : nullptr);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  // A NUL-terminated copy; the parse reads up to the first NUL byte.
  std::string text(reinterpret_cast<const char*>(data), size);
  ParseResult r = vellum_parse_promql(text.c_str(), 0);
  require(vellum_oracle::checkRecord(r), r);
  if (r.status == 0) {
    std::string_view parsed(text.c_str(), std::strlen(text.c_str()));
    require(vellum_oracle::checkPromDocument(r.data, static_cast<std::size_t>(r.data_len), parsed), r);
  } else {
    static const char kPrefix[] = "PromQL parse error at line ";
    if (vellum_oracle::isDefect(r)) require("the answer is an internal defect", r);
    if (std::strncmp(r.error, kPrefix, sizeof kPrefix - 1) != 0) require("error is not a PromQL parse error", r);
  }
  vellum_free_buffer(r.data);
  vellum_free_buffer(r.error);
  return 0;
}
