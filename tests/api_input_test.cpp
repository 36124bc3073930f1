// The C interface's input checks and result records, through the shared
// library only.
#include <cstring>
#include <string>

#include <gtest/gtest.h>

#include "vellum_sql_parser.h"

namespace {

std::string errorText(const ParseResult& r) { return r.error ? std::string(r.error, r.error_len) : ""; }

void expectError(const ParseResult& r, const std::string& message) {
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(r.data, nullptr);
  EXPECT_EQ(r.data_len, 0);
  ASSERT_NE(r.error, nullptr);
  EXPECT_EQ(r.error[r.error_len], '\0');
  EXPECT_EQ(errorText(r), message);
  vellum_free_buffer(r.error);
}

TEST(ApiInputTest, SqlInputChecksInOrder) {
  expectError(vellum_parse_sql(nullptr, -1), "SQL input length must not be negative");
  expectError(vellum_parse_sql("x", -1), "SQL input length must not be negative");
  expectError(vellum_parse_sql(nullptr, 1048577), "SQL input exceeds 1048576-byte limit");
  expectError(vellum_parse_sql(nullptr, 0), "SQL input pointer must not be null");
  expectError(vellum_parse_sql(nullptr, 5), "SQL input pointer must not be null");
  std::string big(1048577, ' ');
  expectError(vellum_parse_sql(big.data(), 1048577), "SQL input exceeds 1048576-byte limit");
}

TEST(ApiInputTest, SqlInputWithNulByte) {
  const char last[] = {'S', 'E', 'L', '\0'};
  expectError(vellum_parse_sql(last, 4), "SQL input contains an interior NUL byte");
  const char first[] = {'\0', 'a'};
  expectError(vellum_parse_sql(first, 2), "SQL input contains an interior NUL byte");
}

TEST(ApiInputTest, PromQlLengthBeyondTheStringIsADefect) {
  ParseResult r = vellum_parse_promql("up", 10);
  EXPECT_EQ(r.status, 1);
  ASSERT_NE(r.error, nullptr);
  EXPECT_EQ(errorText(r).rfind("internal parser defect (this is a parser bug, not invalid SQL): ", 0), 0u)
      << errorText(r);
  vellum_free_buffer(r.error);
}

TEST(ApiInputTest, VersionAndInit) {
  EXPECT_STREQ(vellum_parser_version(), "0.25.0");
  vellum_parser_init();
  vellum_parser_init();
  EXPECT_STREQ(vellum_parser_version(), "0.25.0");
  vellum_free_buffer(nullptr);
}

}  // namespace
