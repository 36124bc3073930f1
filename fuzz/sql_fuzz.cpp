// libFuzzer target: arbitrary bytes as SQL text through the C interface. The
// record must be well formed, an error must not be a defect, and a document
// must decode with msgpack-c to one array of statement envelopes with valid
// spans inside the text. The document must also be byte for byte the one
// written from the whole list of trees with their spans back-filled (the
// interface writes each tree as it is parsed and fills the spans on the
// way). Anything else, a crash, a leak or a sanitizer report, is a finding.
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <exception>
#include <string>
#include <string_view>

#include "document_oracle.h"
#include "ffi/sql_writer.h"
#include "fuzz_support.h"
#include "sql/parser.h"
#include "support/arena.h"
#include "vellum_sql_parser.h"

namespace {

void require(const std::string& problem, const ParseResult& r) {
  if (!problem.empty()) vellum_fuzz::fail("sql_fuzz", problem, r.status == 1 ? r.error : nullptr);
}

std::string sameAsBackFilled(std::string_view text, const ParseResult& r) {
  try {
    vellum::Arena arena;
    vellum::DocumentBytes whole = vellum::sql::writeSqlDocument(vellum::sql::parseStatements(text, arena));
    if (whole.size != static_cast<std::size_t>(r.data_len) || std::memcmp(whole.data.get(), r.data, whole.size) != 0) {
      return "the document differs from the one of the back-filled trees";
    }
  } catch (const std::exception& e) {
    return std::string("the back-filled trees give an error: ") + e.what();
  }
  return {};
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size > 1048577) return -1;  // past the limit every input gives the same answer
  ParseResult r = vellum_parse_sql(reinterpret_cast<const char*>(data), static_cast<int32_t>(size));
  require(vellum_oracle::checkRecord(r), r);
  if (vellum_oracle::isDefect(r)) require("the answer is an internal defect", r);
  if (r.status == 0) {
    std::string_view text(reinterpret_cast<const char*>(data), size);
    require(vellum_oracle::checkSqlDocument(r.data, static_cast<std::size_t>(r.data_len), &text), r);
    require(sameAsBackFilled(text, r), r);
  }
  vellum_free_buffer(r.data);
  vellum_free_buffer(r.error);
  return 0;
}
