// The limits, through the C interface and on a thread with a 1 MiB stack
// (also in the sanitizer builds): the deepest nesting every construct allows
// and one level more, 1 MiB chains in every expression position, inputs at
// and one byte past the size limit, and 1 MiB of bytes 0x80 to 0xff. Every
// document is checked as the fuzz targets check it.
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include <gtest/gtest.h>

#include "../fuzz/document_oracle.h"
#include "support/text.h"
#include "support/threads.h"
#include "vellum_sql_parser.h"

namespace {

constexpr char kNestingError[] = "maximum SQL syntactic nesting depth of 128 exceeded";
constexpr std::size_t kLimit = 1048576;

using vellum_test::repeat;

// What a parse answered: "ok" for a document that passes the checks, the
// error text, or what is wrong with the answer. `fullCheck` false decodes
// the document only for its framing (one value filling the buffer), for
// documents too large to walk cheaply.
std::string answer(const std::string& text, bool fullCheck = true) {
  std::string outcome;
  vellum_test::runOnThreadWithStack(vellum_test::kOneMiB, [&] {
    ParseResult r = vellum_parse_sql(text.data(), static_cast<int32_t>(text.size()));
    outcome = vellum_oracle::checkRecord(r);
    if (outcome.empty() && r.status == 1) outcome = r.error;
    if (outcome.empty() && fullCheck) {
      std::string_view view(text);
      outcome = vellum_oracle::checkSqlDocument(r.data, static_cast<std::size_t>(r.data_len), &view);
    } else if (outcome.empty()) {
      msgpack::null_visitor visitor;
      std::size_t offset = 0;
      bool complete = msgpack::parse(reinterpret_cast<const char*>(r.data), static_cast<std::size_t>(r.data_len),
                                     offset, visitor);
      if (!complete || offset != static_cast<std::size_t>(r.data_len)) outcome = "document is not one value";
    }
    if (outcome.empty()) outcome = "ok";
    vellum_free_buffer(r.data);
    vellum_free_buffer(r.error);
  });
  return outcome;
}

// ---------------------------------------------------------------------------
// Nesting: `levels` times `open`, the core, `levels` times `close`, inside
// the statement `head` ... `tail`. `levels` is the deepest that parses.

struct Nesting {
  const char* name;
  std::string head;
  std::string open;
  std::string core;
  std::string close;
  std::string tail;
  std::size_t levels;
};

std::string nested(const Nesting& n, std::size_t levels) {
  return n.head + repeat(n.open, levels) + n.core + repeat(n.close, levels) + n.tail;
}

const Nesting kNestings[] = {
    {"parentheses in a projection", "SELECT ", "(", "1", ")", "", 128},
    {"parentheses in WHERE", "SELECT * FROM t WHERE ", "(", "a", ")", "", 128},
    {"parentheses in a join condition", "SELECT * FROM t JOIN u ON ", "(", "a", ")", "", 128},
    {"parentheses in ORDER BY", "SELECT a FROM t ORDER BY ", "(", "a", ")", "", 128},
    {"calls and CASE", "SELECT ", "f(CASE WHEN ", "1", " THEN 1 END)", "", 64},
    {"scalar subqueries", "SELECT ", "(SELECT ", "1", ")", "", 128},
    {"EXISTS in WHERE", "SELECT 1 WHERE ", "EXISTS (SELECT 1 WHERE ", "true", ")", "", 128},
    {"derived tables", "SELECT * FROM ", "(SELECT * FROM ", "t", ") AS d", "", 128},
    {"derived tables in joins", "SELECT * FROM t JOIN ", "(SELECT * FROM t JOIN ", "u", " ON true) AS d", " ON true",
     128},
    {"CTE bodies", "", "WITH a AS (", "SELECT 1", ") SELECT 1", "", 129},
    {"array types in CAST", "SELECT CAST(x AS ", "ARRAY<", "INT", ">", ")", 127},
    {"window partitions", "SELECT ", "f() OVER (PARTITION BY ", "1", ")", "", 64},
    {"EXPLAIN of a nested query", "EXPLAIN SELECT ", "(", "1", ")", "", 128},
    // DML. An INSERT's source query holds one level itself.
    {"an INSERT's source query", "INSERT INTO t SELECT * FROM ", "(SELECT * FROM ", "u", ")", "", 127},
    {"an INSERT's source expressions", "INSERT INTO t SELECT ", "(", "1", ")", "", 127},
    {"INSERT VALUES rows", "INSERT INTO t VALUES (", "(", "1", ")", ")", 128},
    {"ON CONFLICT assignments", "INSERT INTO t VALUES (1) ON CONFLICT (a) DO UPDATE SET a = ", "(", "1", ")", "", 128},
    {"ON CONFLICT conditions", "INSERT INTO t VALUES (1) ON CONFLICT (a) DO UPDATE SET a = 1 WHERE ", "(", "1", ")",
     "", 128},
    {"UPDATE SET values", "UPDATE t SET a = ", "(", "1", ")", "", 128},
    {"UPDATE FROM derived tables", "UPDATE t SET a = 1 FROM ", "(SELECT * FROM ", "u", ")", "", 128},
    {"UPDATE WHERE", "UPDATE t SET a = 1 WHERE ", "(", "1", ")", "", 128},
    {"DELETE USING derived tables", "DELETE FROM t USING ", "(SELECT * FROM ", "u", ")", "", 128},
    {"DELETE WHERE subqueries", "DELETE FROM t WHERE ", "EXISTS (SELECT 1 WHERE ", "true", ")", "", 128},
    {"RETURNING", "DELETE FROM t RETURNING ", "(", "1", ")", "", 128},
    {"MERGE sources", "MERGE INTO t USING ", "(SELECT * FROM ", "u", ")", " ON true WHEN MATCHED THEN DELETE", 128},
    {"MERGE ON conditions", "MERGE INTO t USING u ON ", "(", "1", ")", " WHEN MATCHED THEN DELETE", 128},
    {"MERGE branch conditions", "MERGE INTO t USING u ON true WHEN MATCHED AND ", "(", "1", ")", " THEN DELETE", 128},
    {"MERGE UPDATE values", "MERGE INTO t USING u ON true WHEN MATCHED THEN UPDATE SET a = ", "(", "1", ")", "", 128},
    {"MERGE INSERT values", "MERGE INTO t USING u ON true WHEN NOT MATCHED THEN INSERT VALUES (", "(", "1", ")", ")",
     128},
    {"COPY queries", "COPY (SELECT * FROM ", "(SELECT * FROM ", "u", ")", ") TO STDOUT", 128},
    // DDL.
    {"column CHECK constraints", "CREATE TABLE t (a INT CHECK (", "(", "a", ")", "))", 128},
    {"table CHECK constraints", "CREATE TABLE t (a INT, CHECK (", "(", "a", ")", "))", 128},
    {"CHECK subqueries", "CREATE TABLE t (a INT CHECK (", "EXISTS (SELECT 1 WHERE ", "a", ")", "))", 128},
    {"column DEFAULT values", "CREATE TABLE t (a INT DEFAULT ", "(", "1", ")", ")", 128},
    {"view queries", "CREATE VIEW v AS SELECT * FROM ", "(SELECT * FROM ", "u", ")", "", 128},
    // ALTER, and a continuous aggregate's query, which holds one level.
    {"SET DEFAULT values", "ALTER TABLE t ALTER COLUMN a SET DEFAULT ", "(", "1", ")", "", 128},
    {"added column CHECK", "ALTER TABLE t ADD COLUMN a INT CHECK (", "(", "a", ")", ")", 128},
    {"added column DEFAULT", "ALTER TABLE t ADD COLUMN a INT DEFAULT ", "(", "1", ")", "", 128},
    {"a continuous aggregate's query", "CREATE CONTINUOUS AGGREGATE m AS SELECT ", "(", "1", ")", " FROM cpu GROUP BY 1 WITH (retention = '30d', refresh_interval = '1m')", 127},
};

TEST(ApiLimitsTest, DeepestNestingParsesAndOneLevelMoreFails) {
  for (const Nesting& n : kNestings) {
    EXPECT_EQ(answer(nested(n, n.levels)), "ok") << n.name;
    EXPECT_EQ(answer(nested(n, n.levels + 1)), kNestingError) << n.name;
  }
}

// ---------------------------------------------------------------------------
// Chains: `head`, then `link` as often as fits, then `tail`, in `bytes`.

struct Chain {
  const char* name;
  std::string head;
  std::string link;
  std::string tail;
};

std::string chain(const Chain& c, std::size_t bytes) {
  std::string text = c.head;
  while (text.size() + c.link.size() + c.tail.size() <= bytes) text += c.link;
  return text + c.tail;
}

const Chain kChains[] = {
    {"a projection", "SELECT 1", "+1", ""},
    {"WHERE", "SELECT * FROM t WHERE a", " AND a = 1", ""},
    {"a join condition", "SELECT * FROM t JOIN u ON a", " OR b <> 2", ""},
    {"HAVING and QUALIFY", "SELECT a FROM t GROUP BY a HAVING a", " * 2", " > 0 QUALIFY 1"},
    {"ORDER BY", "SELECT a FROM t ORDER BY a", " || 'x'", ""},
    {"JSON arrows", "SELECT a", "->'k'", ""},
    {"a CTE body", "WITH c AS (SELECT 1", " - 1", ") SELECT * FROM c"},
    {"INSERT VALUES", "INSERT INTO t VALUES (1", " + 1", ")"},
    {"an INSERT's source query", "INSERT INTO t SELECT 1", " * 1", " FROM u"},
    {"ON CONFLICT", "INSERT INTO t VALUES (1) ON CONFLICT (a) DO UPDATE SET a = 1", " + 1", " WHERE a = 1"},
    {"UPDATE SET values", "UPDATE t SET a = 1", " + 1", ", b = 2"},
    {"UPDATE WHERE", "UPDATE t SET a = 1 WHERE a", " AND a < 1", ""},
    {"DELETE WHERE", "DELETE FROM t WHERE a", " OR a > 1", ""},
    {"RETURNING", "DELETE FROM t RETURNING a", " || a", ", b"},
    {"MERGE ON", "MERGE INTO t USING u ON a", " AND b = 1", " WHEN MATCHED THEN DELETE"},
    {"MERGE branch conditions", "MERGE INTO t USING u ON true WHEN MATCHED AND a", " AND b = 1", " THEN DELETE"},
    {"MERGE UPDATE values", "MERGE INTO t USING u ON true WHEN MATCHED THEN UPDATE SET a = 1", " + 1", ""},
    {"MERGE INSERT values", "MERGE INTO t USING u ON true WHEN NOT MATCHED THEN INSERT VALUES (1", " + 1", ")"},
    {"column CHECK", "CREATE TABLE t (a INT CHECK (a", " AND a > 1", "))"},
    {"table CHECK", "CREATE TABLE t (a INT, CONSTRAINT c CHECK (a", " OR a = 2", "))"},
    {"column DEFAULT", "CREATE TABLE t (a INT DEFAULT 1", " + 1", ", b INT)"},
    {"view queries", "CREATE VIEW v AS SELECT 1", " - 1", " FROM t"},
    {"SET DEFAULT", "ALTER TABLE t ALTER COLUMN a SET DEFAULT 1", " * 2", ""},
    {"added column CHECK", "ALTER TABLE t ADD COLUMN a INT CHECK (a", " AND a <> 1", ")"},
};

TEST(ApiLimitsTest, OneMebibyteChainsInEveryExpressionPosition) {
  for (const Chain& c : kChains) {
    std::string text = chain(c, kLimit);
    ASSERT_LE(text.size(), kLimit);
    EXPECT_EQ(answer(text, false), "ok") << c.name;
    // A smaller one walked in full: spans and shape.
    EXPECT_EQ(answer(chain(c, 65536)), "ok") << c.name;
  }
}

// A continuous aggregate goes through the tree validation and the staged
// writer: its tree may be 128 nodes deep and its document 128 containers,
// so a chain in its query ends with one of those two limits, on a small
// stack, whatever its length.
TEST(ApiLimitsTest, ContinuousAggregateChainsMeetTheStagedLimits) {
  const Chain where{"WHERE", "CREATE CONTINUOUS AGGREGATE m AS SELECT avg(v) FROM cpu WHERE a", " AND a",
                    " GROUP BY 1 WITH (retention = '30d', refresh_interval = '1m')"};
  auto links = [&](std::size_t n) { return where.head + repeat(where.link, n) + where.tail; };
  EXPECT_EQ(answer(links(60)), "ok");
  EXPECT_EQ(answer(links(61)), "maximum staged MessagePack nesting depth of 128 exceeded");
  EXPECT_EQ(answer(links(125)), "maximum staged AST nesting depth of 128 exceeded");
  EXPECT_EQ(answer(chain(where, kLimit)), "maximum staged AST nesting depth of 128 exceeded");
  const Chain projection{"projection", "CREATE CONTINUOUS AGGREGATE m AS SELECT 1", "+1",
                         " FROM cpu GROUP BY 1 WITH (retention = '30d', refresh_interval = '1m')"};
  EXPECT_EQ(answer(chain(projection, kLimit)), "maximum staged AST nesting depth of 128 exceeded");
  // The staged writer writes the whole list: a chain in another statement
  // beside an aggregate meets the container limit.
  std::string beside = chain({"beside", "SELECT 1", "+1", ";"}, kLimit - links(1).size()) + links(1);
  EXPECT_EQ(answer(beside), "maximum staged MessagePack nesting depth of 128 exceeded");
}

// ---------------------------------------------------------------------------
// Sizes and bytes.

TEST(ApiLimitsTest, InputsAtAndPastTheSizeLimit) {
  std::string text = chain({"", "SELECT 1", "+1", ""}, kLimit);
  text.resize(kLimit, ' ');
  ASSERT_EQ(text.size(), kLimit);
  EXPECT_EQ(answer(text, false), "ok");
  text += ' ';
  EXPECT_EQ(answer(text), "SQL input exceeds 1048576-byte limit");
  // A text of exactly the limit made of short statements, walked in full.
  std::string statements = repeat("SELECT 1;", kLimit / 9);
  statements.resize(kLimit, ';');
  EXPECT_EQ(answer(statements), "ok");
}

// A megabyte of line feeds and blank lines before, between and after
// statements: the scanner passes any run of them at a fixed stack depth.
TEST(ApiLimitsTest, OneMebibyteOfLineFeedsAndBlankLines) {
  const std::size_t half = kLimit / 2 - 16;
  EXPECT_EQ(answer(std::string(kLimit, '\n')), "ok");
  EXPECT_EQ(answer(repeat(" \n", kLimit / 2)), "ok");
  EXPECT_EQ(answer(repeat("\t\r\n", kLimit / 3)), "ok");
  EXPECT_EQ(answer(std::string(half, '\n') + "SELECT 1;" + repeat("  \n", half / 3) + "SELECT\n\n2"), "ok");
  EXPECT_EQ(answer(std::string(half, '\n') + "SELECT (" + std::string(half, '\n')),
            "Parse error at line " + std::to_string(2 * half + 1) +
                ", col 1: unexpected token in expression (got tkEof '')");
}

std::string highBytes(std::size_t n) {
  std::string s(n, '\0');
  for (std::size_t i = 0; i < n; ++i) s[i] = static_cast<char>(0x80 + i % 0x80);
  return s;
}

TEST(ApiLimitsTest, OneMebibyteOfHighBytes) {
  // Bare, each byte is a one-byte identifier: no statement starts with one.
  EXPECT_EQ(answer(highBytes(kLimit)).rfind("Parse error at line 1, col 1: ", 0), 0u);
  // In a string literal, a quoted identifier and a comment they are text.
  std::string inString = "SELECT '" + highBytes(kLimit - 9) + "'";
  EXPECT_EQ(answer(inString), "ok");
  std::string inQuotes = "SELECT \"" + highBytes(kLimit - 9) + "\"";
  EXPECT_EQ(answer(inQuotes), "ok");
  std::string inComment = "SELECT 1 -- " + highBytes(kLimit - 12);
  EXPECT_EQ(answer(inComment), "ok");
  // After SELECT they are column names and aliases until one is too many.
  std::string afterSelect = "SELECT " + highBytes(kLimit - 7);
  EXPECT_EQ(answer(afterSelect).rfind("Parse error at line 1, col ", 0), 0u);

  // PromQL takes bytes from 0x80 up for letters: one metric name, bare or
  // in a selector's string.
  for (std::string prom : {highBytes(kLimit), "{a=\"" + highBytes(kLimit) + "\"}"}) {
    ParseResult r = vellum_parse_promql(prom.c_str(), 0);
    EXPECT_EQ(vellum_oracle::checkRecord(r), "");
    ASSERT_EQ(r.status, 0) << r.error;
    EXPECT_EQ(vellum_oracle::checkPromDocument(r.data, static_cast<std::size_t>(r.data_len), prom), "");
    vellum_free_buffer(r.data);
  }
}

}  // namespace
