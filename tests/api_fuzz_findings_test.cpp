// Inputs the fuzz targets found, each kept as one row: through the C
// interface, the answer must be a well-formed record, never a defect, and a
// document must pass the same checks as in the fuzz targets (one array of
// statement envelopes, every span valid and inside the text).
#include <string>
#include <string_view>

#include <gtest/gtest.h>

#include "../fuzz/document_oracle.h"
#include "vellum_sql_parser.h"

namespace {

struct Finding {
  const char* what;
  std::string text;
};

const Finding kSqlFindings[] = {
    // A JSON arrow whose right operand is a binary operation, which has no
    // span of its own until the back-fill: the call ended at 0:0.
    {"arrow over a binary right operand", "SELECT\x01->n%'"},
    {"arrow over a concatenation", "SELECT a->b||c"},
    {"arrow chain over sums", "SELECT a->>1+2->3*4"},
};

TEST(ApiFuzzFindingsTest, SqlAnswersPassTheDocumentChecks) {
  for (const Finding& f : kSqlFindings) {
    ParseResult r = vellum_parse_sql(f.text.data(), static_cast<int32_t>(f.text.size()));
    EXPECT_EQ(vellum_oracle::checkRecord(r), "") << f.what;
    EXPECT_FALSE(vellum_oracle::isDefect(r)) << f.what << ": " << r.error;
    if (r.status == 0) {
      std::string_view text(f.text);
      EXPECT_EQ(vellum_oracle::checkSqlDocument(r.data, static_cast<std::size_t>(r.data_len), &text), "") << f.what;
    }
    vellum_free_buffer(r.data);
    vellum_free_buffer(r.error);
  }
}

}  // namespace
