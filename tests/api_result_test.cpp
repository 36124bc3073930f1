// The result record, the version and the buffer release, through the shared
// library only.
#include <cfenv>
#include <fenv.h>
#include <cstddef>
#include <cstring>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#if defined(__SSE2__)
#include <xmmintrin.h>
#endif

#include "support/results.h"
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

// What a call answered; its buffers are released.
std::string outcome(ParseResult r) {
  std::string text = vellum_test::describe(r);
  vellum_free_buffer(r.data);
  vellum_free_buffer(r.error);
  return text;
}

TEST(ApiResultTest, TheHostsFloatEnvironmentChangesNoDocumentAndIsKept) {
  // Rounding, a subnormal, an overflow to infinity, and a duration that
  // overflows or must round half up.
  const std::string sql = "SELECT 0.3, 0.1 + 45154.5612394845, 7.000000000000001, 0." + std::string(323, '0') +
                          "5, " + std::string(400, '9') + ".5";
  const std::string promql = "rate(x[0.0005s]) > 0.3";
  const std::string overflow = "x[1" + std::string(305, '0') + "y]";
  auto outcomes = [&] {
    return outcome(vellum_parse_sql(sql.data(), static_cast<int32_t>(sql.size()))) + "\n" +
           outcome(vellum_parse_promql(promql.c_str(), -1)) + "\n" + outcome(vellum_parse_promql(overflow.c_str(), -1));
  };
  const std::string expected = outcomes();
  struct Environment {
    const char* name;
    void (*enter)();
  };
  const Environment environments[] = {
      {"upward", [] { std::fesetround(FE_UPWARD); }},
      {"downward", [] { std::fesetround(FE_DOWNWARD); }},
      {"toward zero", [] { std::fesetround(FE_TOWARDZERO); }},
      {"traps", [] { feenableexcept(FE_ALL_EXCEPT); }},
#if defined(__SSE2__)
      {"flush to zero", [] { _mm_setcsr(_mm_getcsr() | 0x8040); }},
#endif
  };
  // The modes a host sees: rounding, traps and, with SSE, the whole control
  // and status register.
  auto modes = [] {
    std::vector<unsigned> state{static_cast<unsigned>(std::fegetround()), static_cast<unsigned>(fegetexcept())};
#if defined(__SSE2__)
    state.push_back(_mm_getcsr());
#endif
    return state;
  };
  for (const Environment& environment : environments) {
    std::fenv_t host;
    std::fegetenv(&host);
    environment.enter();
    const std::vector<unsigned> entered = modes();
    const std::string got = outcomes();
    const std::vector<unsigned> left = modes();
    std::fesetenv(&host);
    EXPECT_EQ(got, expected) << environment.name;
    EXPECT_EQ(left, entered) << environment.name;
  }
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


// Syntax errors come back without unwinding: the message is built where the
// error is found and carried out past every frame of the descent. Each row
// is followed by an accepted text on the same thread, which must not see
// anything the failed call left behind.
TEST(ApiResultTest, SyntaxErrorsComeBackWhole) {
  const std::string statementList =
      "expected SQL statement (SHOW, DESCRIBE, EXPLAIN, WITH, SELECT, INSERT, UPDATE, DELETE, MERGE, COPY, CREATE, "
      "DROP, ALTER, TRUNCATE, PRAGMA, BEGIN, START TRANSACTION, SET TRANSACTION, COMMIT, ROLLBACK, SAVEPOINT, "
      "RELEASE)";
  const std::string longName(100000, 'x');
  struct Row {
    bool sql;
    std::string text;
    std::string error;
  };
  const Row rows[] = {
      // after two statements whose memory was given back for the third
      {true, "SELECT 1; SELECT 2;\nSELEC 3", "Parse error at line 2, col 1: " + statementList + " (got tkIdent 'SELEC')"},
      // a writer error waits; the syntax error after it is the one reported
      {true, "SELECT CAST(1 AS DECIMAL(50,2)); SELEC",
       "Parse error at line 1, col 34: " + statementList + " (got tkIdent 'SELEC')"},
      // a message longer than any first block of memory
      {true, "SELECT (1 " + longName + ")", "Parse error at line 1, col 11: expected tkRParen (got tkIdent '" + longName + "')"},
      // deep inside nested constructs, and at the nesting limit
      {true, "SELECT " + std::string(100, '(') + "CASE WHEN f(a[1]) IN (1, CAST(2 AS INT)) THEN 1 ELS",
       "Parse error at line 1, col 156: expected tkEnd (got tkIdent 'ELS')"},
      {true, "SELECT " + std::string(129, '('), "maximum SQL syntactic nesting depth of 128 exceeded"},
      // messages joined from pieces
      {true, "CREATE CONTINUOUS AGGREGATE v AS SELECT a FROM t WITH (Retention = '1d', retention = '1d')",
       "Parse error at line 1, col 74: duplicate continuous aggregate option retention (got tkIdent 'retention')"},
      {true, "SELECT a GROUP BY RollUp()", "Parse error at line 1, col 26: expected expression in ROLLUP list (got tkRParen ')')"},
      // PromQL: from the lexer, the parser and the duration decoder
      {false, "foo{a=\"\\\xc3\xa9\"}", "PromQL parse error at line 1, col 7, offset 6 near '\\\xc3\xa9': unsupported escape sequence"},
      {false, longName + " +", "PromQL parse error at line 1, col 100003, offset 100002 near '<eof>': expected expression"},
      {false, "rate(x[5mm])", "PromQL parse error at line 1, col 8, offset 7 near '5mm': invalid duration"},
      {false, std::string(65, '('), "PromQL parse error at line 1, col 65, offset 64 near '(': expression nesting exceeds limit 64"},
  };
  for (const Row& row : rows) {
    ParseResult r = row.sql ? vellum_parse_sql(row.text.data(), static_cast<int32_t>(row.text.size()))
                            : vellum_parse_promql(row.text.c_str(), 0);
    EXPECT_EQ(r.status, 1) << row.text.substr(0, 60);
    EXPECT_EQ(r.data, nullptr);
    ASSERT_NE(r.error, nullptr) << row.text.substr(0, 60);
    EXPECT_EQ(std::string(r.error, static_cast<std::size_t>(r.error_len)), row.error) << row.text.substr(0, 60);
    vellum_free_buffer(r.error);
    ParseResult next = row.sql ? vellum_parse_sql("SELECT (((1)))", 14) : vellum_parse_promql("sum(rate(x[5m]))", 0);
    EXPECT_EQ(next.status, 0) << (next.error != nullptr ? next.error : "");
    vellum_free_buffer(next.data);
    vellum_free_buffer(next.error);
  }
}

}  // namespace
