// The result record, the version and the buffer release, through the shared
// library only.
#include <cstddef>
#include <cstring>
#include <string>

#include <gtest/gtest.h>

#include "vellum_sql_parser.h"

namespace {

TEST(ApiResultTest, RecordLayout) {
  // Hosts declare the record themselves (ctypes, cgo, JNA): its layout is
  // part of the interface.
  EXPECT_EQ(sizeof(ParseResult), 40u);
  EXPECT_EQ(offsetof(ParseResult, status), 0u);
  EXPECT_EQ(offsetof(ParseResult, data), 8u);
  EXPECT_EQ(offsetof(ParseResult, data_len), 16u);
  EXPECT_EQ(offsetof(ParseResult, error), 24u);
  EXPECT_EQ(offsetof(ParseResult, error_len), 32u);
}

// Every field of a returned record is set, whatever the host's variable
// held before.
void expectCleanRecord(const ParseResult& r) {
  if (r.status == 0) {
    EXPECT_NE(r.data, nullptr);
    EXPECT_GT(r.data_len, 0);
    EXPECT_EQ(r.error, nullptr);
    EXPECT_EQ(r.error_len, 0);
  } else {
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.data, nullptr);
    EXPECT_EQ(r.data_len, 0);
    ASSERT_NE(r.error, nullptr);
    EXPECT_EQ(r.error[r.error_len], '\0');
  }
  vellum_free_buffer(r.data);
  vellum_free_buffer(r.error);
}

TEST(ApiResultTest, RecordsAreFilledCompletely) {
  const char* sqlInputs[] = {"SELECT 1", "", "SELECT (1", "\x01\x02"};
  for (const char* text : sqlInputs) {
    ParseResult r;
    std::memset(&r, 0xab, sizeof r);
    r = vellum_parse_sql(text, static_cast<int32_t>(std::strlen(text)));
    expectCleanRecord(r);
  }
  ParseResult r;
  std::memset(&r, 0xab, sizeof r);
  r = vellum_parse_sql(nullptr, -1);
  expectCleanRecord(r);

  const char* promInputs[] = {"up", "", "sum(", "\x01"};
  for (const char* text : promInputs) {
    std::memset(&r, 0xab, sizeof r);
    r = vellum_parse_promql(text, 0);
    expectCleanRecord(r);
  }
  std::memset(&r, 0xab, sizeof r);
  r = vellum_parse_promql("up", 10);
  expectCleanRecord(r);
}

TEST(ApiResultTest, ErrorTextIsNulTerminated) {
  ParseResult r = vellum_parse_sql(nullptr, 0);
  ASSERT_EQ(r.status, 1);
  ASSERT_NE(r.error, nullptr);
  EXPECT_EQ(r.error_len, static_cast<int32_t>(std::strlen("SQL input pointer must not be null")));
  EXPECT_STREQ(r.error, "SQL input pointer must not be null");
  vellum_free_buffer(r.error);
}

TEST(ApiResultTest, VersionBeforeAndAfterInit) {
  const char* before = vellum_parser_version();
  EXPECT_STREQ(before, "0.25.0");
  vellum_parser_init();
  vellum_parser_init();
  const char* after = vellum_parser_version();
  EXPECT_STREQ(after, "0.25.0");
  EXPECT_EQ(before, after) << "a static text, not a fresh buffer";
}

TEST(ApiResultTest, FreeingNullDoesNothing) {
  vellum_free_buffer(nullptr);
  vellum_free_buffer(nullptr);
}

}  // namespace
