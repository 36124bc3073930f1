// The statement-list document: envelopes, utility statements (EXPLAIN,
// PRAGMA/SHOW/DESCRIBE, transactions, savepoints), the dispatch errors, and
// writer behaviour on trees the parser does not build (checked on trees made
// by hand).
#include <cstdint>
#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include <gtest/gtest.h>
#include <msgpack.hpp>

#include "doc_support.h"
#include "support/corpus.h"

namespace vellum_test {
namespace {

using namespace vellum::sql;

std::string span(int l1, int c1, int l2, int c2) {
  return R"({"start":{"line":)" + std::to_string(l1) + R"(,"column":)" + std::to_string(c1) + R"(},"end":{"line":)" +
         std::to_string(l2) + R"(,"column":)" + std::to_string(c2) + "}}";
}

// The document of a text written statement by statement as it is parsed,
// the way hosts get it; the writer fills the spans on its way down.
std::string streamedBytes(const std::string& text) {
  try {
    vellum::DocumentBytes document = vellum::parseSqlDocument(text);
    return std::string(reinterpret_cast<const char*>(document.data.get()), document.size);
  } catch (const std::exception& e) {
    return std::string("error: ") + e.what();
  }
}

// The document of the whole list of trees, parsed into one arena with their
// spans back-filled and written at once.
std::string wholeBytes(const std::string& text) {
  try {
    vellum::Arena arena;
    vellum::DocumentBytes document = writeSqlDocument(parseStatements(text, arena));
    return std::string(reinterpret_cast<const char*>(document.data.get()), document.size);
  } catch (const std::exception& e) {
    return std::string("error: ") + e.what();
  }
}

TEST(DocStatementsTest, EmptyListIsAnEmptyArray) {
  for (const char* text : {"", ";", " ;; -- nothing\n;"}) {
    vellum::DocumentBytes document = vellum::parseSqlDocument(text);
    ASSERT_EQ(document.size, 1u) << text;
    EXPECT_EQ(document.data.get()[0], 0x90) << text;
  }
}

// Statements are written as they are parsed, and the list's header is sized
// from a count of ";" bytes: whether that guess is right, too high or too low,
// the bytes are those of the parsed list written as a whole.
TEST(DocStatementsTest, ListHeaderWhateverTheSemicolonsSay) {
  auto times = [](const std::string& piece, int n) {
    std::string text;
    for (int i = 0; i < n; ++i) text += piece;
    return text;
  };
  struct Case {
    std::string text;
    std::uint32_t count;
    std::uint8_t marker;  // first byte of the document
  };
  const std::vector<Case> cases = {
      {"SELECT 1", 1, 0x91},
      {times("SELECT 1;", 15), 15, 0x9f},
      {times("SELECT 1;", 16), 16, 0xdc},
      {times("BEGIN ", 16), 16, 0xdc},                        // no ";": guessed 1
      {"SELECT ';;;;;;;;;;;;;;;;;;;;'", 1, 0x91},              // ";" in a string: guessed 21
      {"SELECT 1 -- ;;;;;;;;;;;;;;;;\n" + times(";", 20), 1, 0x91},
      {times("BEGIN;", 65535), 65535, 0xdc},
      {times("BEGIN;", 65536), 65536, 0xdd},
      {times("BEGIN;", 65535) + "SELECT ';'", 65536, 0xdd},     // guessed 65537
      {times("BEGIN;", 65534) + "SELECT ';;'", 65535, 0xdc},   // guessed 65537
      {times("BEGIN ", 65536), 65536, 0xdd},                  // guessed 1
  };
  for (const Case& c : cases) {
    vellum::DocumentBytes streamed = vellum::parseSqlDocument(c.text);
    vellum::Arena arena;
    vellum::DocumentBytes whole = writeSqlDocument(parseStatements(c.text, arena));
    ASSERT_EQ(std::string(reinterpret_cast<const char*>(streamed.data.get()), streamed.size),
              std::string(reinterpret_cast<const char*>(whole.data.get()), whole.size))
        << c.text.substr(0, 40);
    EXPECT_EQ(streamed.data.get()[0], c.marker) << c.text.substr(0, 40);
    msgpack::object_handle handle = msgpack::unpack(reinterpret_cast<const char*>(streamed.data.get()), streamed.size);
    ASSERT_EQ(handle.get().type, msgpack::type::ARRAY);
    EXPECT_EQ(handle.get().via.array.size, c.count) << c.text.substr(0, 40);
  }
}

// Each statement's memory is used again by the next one once it is written:
// whatever the statements around it hold, the bytes are those of the whole
// list parsed into one arena and written at once, and a continuous aggregate
// anywhere (which needs every tree at once) reads the text again.
TEST(DocStatementsTest, StatementsReuseTheMemoryOfTheOnesBefore) {
  auto sum = [](int terms) {
    std::string text = "SELECT f(1";
    for (int i = 0; i < terms; ++i) text += " + x" + std::to_string(i);
    return text + ") AS total FROM t WHERE a IN (1, 2, 3)";
  };
  const std::string aggregate =
      "CREATE CONTINUOUS AGGREGATE m AS SELECT a FROM t WITH (retention = '1d', refresh_interval = '1h')";
  const std::vector<std::string> texts = {
      sum(5000) + "; SELECT 1; " + sum(20) + "; " + sum(40000) + "; SELECT b FROM u",
      "INSERT INTO t VALUES (1, 'a'), (2, 'b'); " + sum(3000) + "; CREATE TABLE x (a INT, b TEXT); " + sum(3000),
      // Quoted texts with doubled quotes live in the arena, next to the trees.
      "SELECT 'a''b'; SELECT \"c\"\"d\" FROM \"e\"\"f\"; 'g''h' ; SELECT 1",
      "SELECT 'a''b';\"c\"\"d\"",
      "SELECT 1; SELECT 'x''y' AS \"p\"\"q\"; " + sum(2000) + "; SELECT 'z''z'",
      sum(3000) + "; " + aggregate + "; " + sum(3000),
      "SELECT 1; " + aggregate,
      aggregate + "; SELECT 1; " + sum(100),
      sum(100) + "; " + aggregate + "; SELECT (",
      sum(100) + "; SELECT a FROM t x WITH (y = 1); " + aggregate,
  };
  for (const std::string& text : texts) EXPECT_EQ(streamedBytes(text), wholeBytes(text)) << text.substr(0, 60);
  EXPECT_EQ(sqlDocJson("SELECT 1; \"x\"\"y\""),
            "error: Parse error at line 1, col 11: expected SQL statement (SHOW, DESCRIBE, EXPLAIN, WITH, SELECT, "
            "INSERT, UPDATE, DELETE, MERGE, COPY, CREATE, DROP, ALTER, TRUNCATE, PRAGMA, BEGIN, START TRANSACTION, "
            "SET TRANSACTION, COMMIT, ROLLBACK, SAVEPOINT, RELEASE) (got tkIdent 'x\"y')");
}

// Nodes built without a span of their own (operators, lists, clauses,
// joins, ALTER actions, flags) take their parent's: the streamed path's
// writer fills them on its way down, the whole path back-fills the trees
// first, and the bytes agree. Under a CHECK expression or a MERGE condition
// nothing is filled on either path. Every real-world text agrees too.
TEST(DocStatementsTest, StreamedSpansAreThoseOfTheBackFill) {
  std::vector<std::string> texts = {
      "SELECT a AND b OR NOT c, x BETWEEN 1 AND 2, y NOT LIKE 'p' ESCAPE '!', z IN (1, 2), w IS NULL\nFROM t",
      "SELECT DISTINCT a FROM t JOIN u ON t.i = u.i AND t.j > 1 LEFT JOIN v USING (k)\nWHERE a > 1 AND b < 2",
      "SELECT a, count(*) FILTER (WHERE b AND c) FROM t GROUP BY ROLLUP (a, b AND c), GROUPING SETS ((a), (b OR c))\n"
      "HAVING sum(x) > 1 AND min(y) < 2 WINDOW w AS (PARTITION BY a AND b ORDER BY c) QUALIFY rank() OVER w = 1 AND d\n"
      "ORDER BY a AND b DESC NULLS LAST LIMIT 1 + 2 OFFSET 3 * 4",
      "SELECT percentile_cont(0.5) WITHIN GROUP (ORDER BY a AND b), f(x ORDER BY y AND z) OVER (ROWS BETWEEN 1 "
      "PRECEDING AND CURRENT ROW) FROM t",
      "SELECT CASE WHEN a AND b THEN c OR d ELSE NOT e END, (SELECT 1 WHERE p AND q), EXISTS (SELECT 1 WHERE r OR s)\n"
      "FROM (SELECT a FROM t WHERE a AND b) AS d (x), LATERAL generate_series(1, a AND b) WITH ORDINALITY AS g",
      "WITH c (x) AS (SELECT a FROM t WHERE a AND b) SELECT x FROM c WHERE x IN (SELECT y FROM u WHERE y OR z)\n"
      "UNION ALL SELECT 1 WHERE k AND l INTERSECT VALUES (1 AND 2), (3 OR 4) ORDER BY 1 LIMIT 2",
      "VALUES (a AND b, c), (NOT d, e OR f) ORDER BY 1 OFFSET 1",
      "INSERT INTO t (a, b) VALUES (1 AND 2, 3), (x OR y, NOT z)\nON CONFLICT (a) DO UPDATE SET b = c AND d "
      "WHERE e OR f RETURNING a AND b, *",
      "INSERT INTO t SELECT a FROM u WHERE a AND b; INSERT INTO t VALUES (1) ON CONFLICT DO NOTHING",
      "UPDATE t SET a = b AND c, d = NOT e FROM u JOIN v ON u.i = v.i AND u.j WHERE t.k AND u.l RETURNING t.a OR u.b",
      "DELETE FROM t USING u WHERE t.a = u.a AND u.b RETURNING a AND b",
      "MERGE INTO t USING u ON t.a = u.a AND u.b\nWHEN MATCHED AND f(t.c OR u.d) THEN UPDATE SET e = f AND g\n"
      "WHEN NOT MATCHED AND (h OR i) THEN INSERT (a, b) VALUES (j AND k, l)\nWHEN MATCHED THEN DELETE",
      "CREATE TEMPORARY TABLE IF NOT EXISTS t (a INT DEFAULT 1 + 2 CHECK (a > 0 AND a < f(b OR c)) NOT NULL,\n"
      "b TEXT, CONSTRAINT k CHECK (a OR b AND c), PRIMARY KEY (a)) WITH (ttl = '1d', x = 2)",
      "CREATE INDEX IF NOT EXISTS i ON t (a) USING HNSW WITH (m = 16); CREATE VIEW v (a, b) AS SELECT x AND y, z FROM t",
      "ALTER TABLE IF EXISTS t ADD COLUMN IF NOT EXISTS c INT DEFAULT 1 AND 2; ALTER TABLE t DROP COLUMN IF EXISTS c",
      "ALTER TABLE t ALTER COLUMN c SET DEFAULT a OR b; ALTER TABLE t ALTER COLUMN c TYPE BIGINT;\n"
      "ALTER TABLE t RENAME COLUMN a TO b; ALTER TABLE t RENAME TO u; ALTER TABLE t ALTER COLUMN c DROP NOT NULL",
      "EXPLAIN ANALYZE SELECT a FROM t WHERE a AND b; COPY (SELECT a FROM t WHERE a OR b) TO STDOUT;\n"
      "DROP TABLE IF EXISTS t; CREATE SEQUENCE IF NOT EXISTS s START 1",
      "CREATE CONTINUOUS AGGREGATE m AS SELECT time_bucket('1h', ts) AS b, avg(v) FROM t WHERE v > 0 AND w\n"
      "GROUP BY b WITH (retention = '1d', refresh_interval = '1h')",
  };
  const std::filesystem::path dir = std::filesystem::path(VELLUM_CORPUS_DIR) / "sql";
  if (std::filesystem::exists(dir)) {
    for (const auto& entry : std::filesystem::directory_iterator(dir)) {
      if (entry.path().extension() != ".jsonl") continue;
      for (std::string& text : readCorpusFile(entry.path())) texts.push_back(std::move(text));
    }
  }
  for (const std::string& text : texts) {
    const std::string streamed = streamedBytes(text);
    EXPECT_EQ(streamed, wholeBytes(text)) << text;
  }
}

// A syntax error anywhere in the text is the result, however many statements
// were written before it.
TEST(DocStatementsTest, SyntaxErrorAfterWrittenStatements) {
  std::string text;
  for (int i = 0; i < 2000; ++i) text += "SELECT a, b FROM t WHERE c = 1;\n";
  text += "SELECT (";
  EXPECT_EQ(sqlDocJson(text), "error: Parse error at line 2001, col 9: unexpected token in expression (got tkEof '')");
}

TEST(DocStatementsTest, TransactionsAndSavepoints) {
  runDocCases({
      {"BEGIN; COMMIT", R"([{"kind":{"variant":"Begin","isolation_level":null,"access_mode":null}},{"kind":{"variant":"Commit"}}])"},
      {"START TRANSACTION ISOLATION LEVEL READ COMMITTED, READ WRITE",
       R"([{"kind":{"variant":"Begin","isolation_level":"ReadCommitted","access_mode":"ReadWrite"}}])"},
      {"BEGIN TRANSACTION READ ONLY", R"([{"kind":{"variant":"Begin","isolation_level":null,"access_mode":"ReadOnly"}}])"},
      {"SET TRANSACTION ISOLATION LEVEL SERIALIZABLE, READ ONLY",
       R"([{"kind":{"variant":"SetTransaction","isolation_level":"Serializable","access_mode":"ReadOnly"}}])"},
      {"SET TRANSACTION ISOLATION LEVEL REPEATABLE READ",
       R"([{"kind":{"variant":"SetTransaction","isolation_level":"RepeatableRead","access_mode":null}}])"},
      {"COMMIT TRANSACTION; ROLLBACK", R"([{"kind":{"variant":"Commit"}},{"kind":{"variant":"Rollback"}}])"},
      {"SAVEPOINT s1; ROLLBACK TO SAVEPOINT s1; RELEASE s1",
       R"([{"kind":{"variant":"Savepoint","name":"s1"}},{"kind":{"variant":"RollbackToSavepoint","name":"s1"}},)"
       R"({"kind":{"variant":"ReleaseSavepoint","name":"s1"}}])"},
  });
}

TEST(DocStatementsTest, PragmaShowDescribe) {
  runDocCases({
      {"PRAGMA cache_size = 100", R"([{"kind":{"variant":"Pragma","name":"cache_size","value":100}}])"},
      {"PRAGMA journal_mode = 'wal'", R"([{"kind":{"variant":"Pragma","name":"journal_mode","value":"wal"}}])"},
      {"PRAGMA optimize", R"([{"kind":{"variant":"Pragma","name":"optimize","value":null}}])"},
      {"SHOW TABLES", R"([{"kind":{"variant":"Pragma","name":"show_tables","value":null}}])"},
      {"SHOW INDEXES FROM metrics", R"([{"kind":{"variant":"Pragma","name":"show_indexes","value":"metrics"}}])"},
      {"DESCRIBE t; DESC TABLE u",
       R"([{"kind":{"variant":"Pragma","name":"describe","value":"t"}},{"kind":{"variant":"Pragma","name":"describe","value":"u"}}])"},
  });
  // PRAGMA's map carries its own span; the envelope repeats it.
  EXPECT_EQ(sqlDocJson("PRAGMA x = 9223372036854775807", true),
            compactJson(R"([{"kind":{"variant":"Pragma","name":"x","value":9223372036854775807,"span":)" + span(1, 1, 1, 6) +
                        R"(},"span":)" + span(1, 1, 1, 6) + "}]"));
}

TEST(DocStatementsTest, Explain) {
  const std::string select1 =
      R"({"variant":"Select","distinct":false,"distinct_on":[],"projection":[{"variant":"Expr","expr":#1,"alias":null}],)"
      R"("from":[],"selection":null,"group_by":null,"having":null,"windows":[],"qualify":null,"set_operations":[],)"
      R"("order_by":[],"limit":null,"offset":null,"limit_with_ties":false})";
  runDocCases({
      {"EXPLAIN ANALYZE SELECT 1", R"([{"kind":{"variant":"Explain","analyze":true,"format":"Text","statement":{"kind":)" + select1 + "}}}]"},
      {"EXPLAIN (FORMAT JSON) SELECT 1", R"([{"kind":{"variant":"Explain","analyze":false,"format":"Json","statement":{"kind":)" + select1 + "}}}]"},
      {"EXPLAIN SHOW TABLES",
       R"([{"kind":{"variant":"Explain","analyze":false,"format":"Text","statement":{"kind":)"
       R"({"variant":"Pragma","name":"show_tables","value":null}}}}])"},
  });
  // The nested envelope carries the explained statement's own span.
  EXPECT_EQ(sqlDocJson("EXPLAIN\n  VALUES (1)", true),
            compactJson(R"([{"kind":{"variant":"Explain","analyze":false,"format":"Text","statement":{"kind":{"variant":"Values",
              "rows":[[{"kind":{"variant":"Literal","literal":{"variant":"Number","value":"1"}},"span":)" + span(2, 11, 2, 11) + R"(}]],
              "set_operations":[],"order_by":[],"limit":null,"offset":null,"limit_with_ties":false,"span":)" + span(2, 3, 2, 8) + R"(},
              "span":)" + span(2, 3, 2, 8) + R"(}},"span":)" + span(1, 1, 2, 8) + "}]"));
}

TEST(DocStatementsTest, EnvelopesAndParameters) {
  // Each envelope: "kind" then "span"; parameters count per statement.
  EXPECT_EQ(sqlDocJson("SELECT ?, ?;\nCOMMIT", true),
            compactJson(R"([{"kind":{"variant":"Select","distinct":false,"distinct_on":[],"projection":[
                {"variant":"Expr","expr":{"kind":{"variant":"Parameter","index":1},"span":)" + span(1, 8, 1, 8) + R"(},"alias":null,"span":)" +
                        span(1, 8, 1, 8) + R"(},
                {"variant":"Expr","expr":{"kind":{"variant":"Parameter","index":2},"span":)" + span(1, 11, 1, 11) + R"(},"alias":null,"span":)" +
                        span(1, 11, 1, 11) + R"(}],
                "from":[],"selection":null,"group_by":null,"having":null,"windows":[],"qualify":null,"set_operations":[],
                "order_by":[],"limit":null,"offset":null,"limit_with_ties":false},"span":)" + span(1, 1, 1, 6) + R"(},
              {"kind":{"variant":"Commit"},"span":)" + span(2, 1, 2, 6) + "}]"));
  runDocCases({
      {"SELECT ?; SELECT ?",
       R"([{"kind":{"variant":"Select","distinct":false,"distinct_on":[],"projection":[{"variant":"Expr","expr":{"kind":{"variant":"Parameter","index":1}},"alias":null}],)"
       R"("from":[],"selection":null,"group_by":null,"having":null,"windows":[],"qualify":null,"set_operations":[],"order_by":[],"limit":null,"offset":null,"limit_with_ties":false}},)"
       R"({"kind":{"variant":"Select","distinct":false,"distinct_on":[],"projection":[{"variant":"Expr","expr":{"kind":{"variant":"Parameter","index":1}},"alias":null}],)"
       R"("from":[],"selection":null,"group_by":null,"having":null,"windows":[],"qualify":null,"set_operations":[],"order_by":[],"limit":null,"offset":null,"limit_with_ties":false}}])"},
      // A syntax error anywhere fails the whole list.
      {"SELECT 1; SELECT (1", "error: Parse error at line 1, col 20: expected tkRParen (got tkEof '')"},
  });
}

// ---------------------------------------------------------------------------
// Trees made by hand.

const SqlSpan kSpan{1, 1, 1, 5};

std::vector<std::uint8_t> writeWith(const std::function<void(SqlWriter&)>& body) {
  vellum::BufferStream out(0);
  SqlWriter writer(out);
  body(writer);
  return std::vector<std::uint8_t>(out.data(), out.data() + out.size());
}

std::string json(const std::vector<std::uint8_t>& bytes, bool spans = false) {
  return msgpackToJson(bytes.data(), bytes.size(), spanOptions(spans));
}

// The message of the ParseError that writing `node` as a statement raises.
std::string statementError(const SqlNode* node) {
  try {
    writeWith([&](SqlWriter& w) { w.writeStatementKind(node); });
  } catch (const vellum::ParseError& e) {
    return e.message();
  }
  return "no ParseError";
}

TEST(DocStatementsTest, UnsupportedStatementKinds) {
  vellum::Arena arena;
  for (SqlNodeKind kind : {nkIdentifier, nkStatementList, nkBinaryOp, nkFromClause}) {
    SqlNode* node = newNode(arena, kind, kSpan);
    EXPECT_EQ(statementError(node), "unsupported statement node for MessagePack: " + std::string(kindName(kind)));
  }
  SqlNode* pragma = newNode(arena, nkPragma, kSpan);
  pragma->children().push_back(arena, newIdentifier(arena, "x", kSpan));
  pragma->children().push_back(arena, newFloatLit(arena, 1.5, kSpan));
  EXPECT_EQ(statementError(pragma), "invalid PRAGMA value node");
}

TEST(DocStatementsTest, AliasesAndNullsInExpressionPosition) {
  vellum::Arena arena;
  // Alias wrappers are skipped, down to a missing expression.
  SqlNode* inner = newNode(arena, nkAlias, kSpan);
  SqlNode* outer = newNode(arena, nkAlias, kSpan);
  outer->aliasExpr() = inner;
  EXPECT_EQ(writeWith([&](SqlWriter& w) { w.writeExpr(outer); }), std::vector<std::uint8_t>{0xc0});
  EXPECT_EQ(writeWith([&](SqlWriter& w) { w.writeExpr(nullptr); }), std::vector<std::uint8_t>{0xc0});
  inner->aliasExpr() = newIdentifier(arena, "a", SqlSpan{2, 3, 2, 3});
  EXPECT_EQ(json(writeWith([&](SqlWriter& w) { w.writeExpr(outer); }), true),
            compactJson(R"({"kind":{"variant":"ColumnRef","table":null,"column":"a"},"span":)" + span(2, 3, 2, 3) + "}"));

  // A missing left operand is nil inside the operator's map.
  SqlNode* sum = newBinary(arena, opAdd, nullptr, outer, kSpan);
  EXPECT_EQ(json(writeWith([&](SqlWriter& w) { w.writeExpr(sum); })),
            expandExpected(R"({"kind":{"variant":"BinaryOp","left":null,"op":"Add","right":$a}})"));

  // IS as a plain operator keeps its enumeration name.
  SqlNode* is = newBinary(arena, opIs, newIdentifier(arena, "a", kSpan), newNull(arena, kSpan), kSpan);
  EXPECT_EQ(json(writeWith([&](SqlWriter& w) { w.writeExpr(is); })),
            expandExpected(R"({"kind":{"variant":"BinaryOp","left":$a,"op":"opIs",
                                "right":{"kind":{"variant":"Literal","literal":{"variant":"Null"}}}}})"));

  // A quantified operator text that names no comparison is written as is.
  SqlNode* quantified = newNode(arena, nkQuantified, kSpan);
  SqlNode* query = newNode(arena, nkValues, kSpan);
  SqlNode* row = newNode(arena, nkExprList, kSpan);
  row->children().push_back(arena, newIntLit(arena, 1, kSpan));
  query->children().push_back(arena, row);
  quantified->children().push_back(arena, newIdentifier(arena, "a", kSpan));
  quantified->children().push_back(arena, newIdentifier(arena, "opLike", kSpan));
  quantified->children().push_back(arena, query);
  quantified->quantifierAll = true;
  EXPECT_EQ(json(writeWith([&](SqlWriter& w) { w.writeExpr(quantified); })),
            expandExpected(R"({"kind":{"variant":"Quantified","expr":$a,"op":"opLike","quantifier":"All","subquery":{"kind":
                                {"variant":"Values","rows":[[#1]],"set_operations":[],"order_by":[],"limit":null,"offset":null,
                                 "limit_with_ties":false}}}})"));
}

TEST(DocStatementsTest, VectorValuesAreFloat64) {
  vellum::Arena arena;
  SqlNode* vector = newNode(arena, nkVectorLiteral, kSpan);
  vector->children().push_back(arena, newFloatLit(arena, 1.0, kSpan));
  std::vector<std::uint8_t> bytes = writeWith([&](SqlWriter& w) { w.writeExpr(vector); });
  // {"kind": {"variant": "VectorLiteral", "values": [1.0]}, ...}
  const std::vector<std::uint8_t> prefix = {0x82, 0xa4, 'k', 'i', 'n', 'd', 0x82, 0xa7, 'v', 'a', 'r', 'i', 'a', 'n', 't', 0xad,
                                            'V', 'e', 'c', 't', 'o', 'r', 'L', 'i', 't', 'e', 'r', 'a', 'l', 0xa6, 'v', 'a',
                                            'l', 'u', 'e', 's', 0x91, 0xcb, 0x3f, 0xf0, 0, 0, 0, 0, 0, 0};
  ASSERT_GE(bytes.size(), prefix.size());
  EXPECT_EQ(std::vector<std::uint8_t>(bytes.begin(), bytes.begin() + static_cast<long>(prefix.size())), prefix);
}

// LIMIT and OFFSET clauses without a count are nil; a WHERE clause, CTE or
// named window missing a part the layout requires is a defect.
TEST(DocStatementsTest, ClausesWithMissingParts) {
  vellum::Arena arena;
  SqlNode* select = newNode(arena, nkSelect, kSpan);
  SqlNode* limit = newNode(arena, nkLimitClause, kSpan);
  limit->limitWithTies = true;
  select->children().push_back(arena, limit);
  select->children().push_back(arena, newNode(arena, nkOffsetClause, kSpan));
  EXPECT_EQ(json(writeWith([&](SqlWriter& w) { w.writeStatementKind(select); })),
            R"({"variant":"Select","distinct":false,"distinct_on":[],"projection":[],"from":[],"selection":null,)"
            R"("group_by":null,"having":null,"windows":[],"qualify":null,"set_operations":[],"order_by":[],)"
            R"("limit":null,"offset":null,"limit_with_ties":true})");

  auto defect = [&](SqlNode* child) {
    SqlNode* query = newNode(arena, nkSelect, kSpan);
    query->children().push_back(arena, child);
    try {
      writeWith([&](SqlWriter& w) { w.writeStatementKind(query); });
    } catch (const vellum::InternalDefect&) {
      return true;
    }
    return false;
  };
  EXPECT_TRUE(defect(newNode(arena, nkWhereClause, kSpan)));
  EXPECT_TRUE(defect(newNode(arena, nkHavingClause, kSpan)));
  SqlNode* with = newNode(arena, nkWithClause, kSpan);
  SqlNode* cte = newNode(arena, nkCommonTableExpr, kSpan);
  cte->children().push_back(arena, newIdentifier(arena, "c", kSpan));
  with->children().push_back(arena, cte);
  EXPECT_TRUE(defect(with));
  SqlNode* windows = newNode(arena, nkWindowClause, kSpan);
  SqlNode* named = newNode(arena, nkNamedWindow, kSpan);
  named->children().push_back(arena, newIdentifier(arena, "w", kSpan));
  windows->children().push_back(arena, named);
  EXPECT_TRUE(defect(windows));
}

// Span numbers take the shortest integer format at every boundary, as
// msgpack-c's packer writes them.
TEST(DocStatementsTest, SpanNumbersAtFormatBoundaries) {
  const std::int32_t values[] = {0,     1,      127,    128,        255,         256,        65535,
                                 65536, -1,     -32,    -33,        -128,        -129,       -32768,
                                 -32769, 2147483647, -2147483647 - 1};
  for (std::int32_t a : values) {
    for (std::int32_t b : {std::int32_t{1}, a}) {
      SqlSpan s{a, b, b, a};
      std::vector<std::uint8_t> bytes = writeWith([&](SqlWriter& w) { w.writeSpan(s); });
      msgpack::sbuffer expected;
      msgpack::packer<msgpack::sbuffer> pk(expected);
      pk.pack_map(2);
      pk.pack(std::string("start"));
      pk.pack_map(2);
      pk.pack(std::string("line"));
      pk.pack(a);
      pk.pack(std::string("column"));
      pk.pack(b);
      pk.pack(std::string("end"));
      pk.pack_map(2);
      pk.pack(std::string("line"));
      pk.pack(b);
      pk.pack(std::string("column"));
      pk.pack(a);
      EXPECT_EQ(bytes, std::vector<std::uint8_t>(expected.data(), expected.data() + expected.size())) << a << " " << b;
    }
  }
}

// A statement far down a script, across a line feed: each span number in
// the shortest format (the document equals msgpack-c's packing of its own
// decoding), and the statement's span (its first keyword) where its text
// is.
TEST(DocStatementsTest, SpansFarDownAScriptTakeTheShortestFormats) {
  const std::string statement = "SELECT a, b AS x, 'it', f(a)\n FROM t WHERE c = 1 ORDER BY a DESC";
  for (int line : {1, 127, 128, 254, 255, 256, 257, 65534, 65535, 65536, 70000}) {
    for (int column : {1, 100, 127, 128, 300}) {
      const std::string text = std::string(line - 1, '\n') + std::string(column - 1, ' ') + statement;
      vellum::DocumentBytes document = vellum::parseSqlDocument(text);
      const char* bytes = reinterpret_cast<const char*>(document.data.get());
      msgpack::object_handle decoded = msgpack::unpack(bytes, document.size);
      msgpack::sbuffer repacked;
      msgpack::pack(repacked, decoded.get());
      EXPECT_EQ(std::string(bytes, document.size), std::string(repacked.data(), repacked.size()))
          << "line " << line << ", column " << column;
      const std::string json = msgpackToJson(document.data.get(), document.size, spanOptions(true));
      const std::string span = R"("span":{"start":{"line":)" + std::to_string(line) + R"(,"column":)" +
                               std::to_string(column) + R"(},"end":{"line":)" + std::to_string(line) +
                               R"(,"column":)" + std::to_string(column + 5) + "}}}]";
      EXPECT_EQ(json.substr(json.size() - span.size()), span) << "line " << line << ", column " << column;
    }
  }
}

TEST(DocStatementsTest, FromItemsTheParserDoesNotBuild) {
  vellum::Arena arena;
  SqlNode* table = newNode(arena, nkFromTable, SqlSpan{1, 2, 1, 3});
  table->children().push_back(arena, newIdentifier(arena, "t", kSpan));
  SqlNode* join = newNode(arena, nkFromJoin, SqlSpan{1, 4, 1, 5});
  join->joinKind() = jkFull;
  join->joinLeft() = table;
  join->joinRight() = nullptr;
  EXPECT_EQ(json(writeWith([&](SqlWriter& w) { w.writeFromItem(join, FromMode::Full); }), true),
            compactJson(R"({"variant":"Join","left":{"variant":"Table","name":"t","alias":null,"columns":[],"span":)" + span(1, 2, 1, 3) +
                        R"(},"right":null,"join_type":"Full","condition":null,"using":null,"span":)" + span(1, 4, 1, 5) + "}"));
  EXPECT_EQ(json(writeWith([&](SqlWriter& w) { w.writeFromItem(table, FromMode::Restricted); })),
            R"({"variant":"Table","name":"t","alias":null})");
}

}  // namespace
}  // namespace vellum_test
