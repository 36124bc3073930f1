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
    // The same with a binary left operand where no back-fill comes (a MERGE
    // condition, a CHECK expression): the call started at 0:0 and ended in
    // the text.
    {"arrow over binary operands in a MERGE condition",
     "MERGE INTO t  USING (SELECT 1 AS id) AS s ON x.id = s.id WHEN MATCHED AND \"\"&innerVALUEs_->>cu&tome||skED THEN "
     "DELETE"},
    {"arrow from a sum in a MERGE condition", "MERGE INTO t USING s ON true WHEN MATCHED AND a+b->'k' THEN DELETE"},
    {"arrow from a sum in a CHECK", "CREATE TABLE t (a INT CHECK (a+b->'k' = 1))"},
    {"arrow from a product to a sum in a CHECK", "CREATE TABLE t (a INT, CHECK (a*2->>b||c))"},
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
