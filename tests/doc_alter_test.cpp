// ALTER TABLE, ALTER SEQUENCE and CREATE CONTINUOUS AGGREGATE documents, and
// the staged path every list holding a continuous aggregate takes: its
// validation messages reach the result text unchanged, its bytes equal those
// of plain writing, and its size and nesting limits end oversized lists.
#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include <gtest/gtest.h>
#include <msgpack.hpp>
#include <nlohmann/json.hpp>

#include "doc_support.h"
#include "support/corpus.h"
#include "support/text.h"
#include "support/threads.h"
#include "vellum_sql_parser.h"

namespace vellum_test {
namespace {

using namespace vellum::sql;

constexpr char kAggregate[] =
    "CREATE CONTINUOUS AGGREGATE m AS SELECT a FROM t x WITH (retention = '1d', refresh_interval = '1h')";

// The result of the export: the document as JSON (spans dropped) or
// "error: " + the result text.
std::string exported(const std::string& sql) {
  ParseResult r = vellum_parse_sql(sql.data(), static_cast<std::int32_t>(sql.size()));
  std::string out;
  if (r.status == 0) {
    out = msgpackToJson(r.data, static_cast<std::size_t>(r.data_len), spanOptions(false));
  } else {
    EXPECT_EQ(r.data, nullptr);
    out = "error: " + std::string(r.error, static_cast<std::size_t>(r.error_len));
  }
  vellum_free_buffer(r.data);
  vellum_free_buffer(r.error);
  return out;
}

bool startsWith(const std::string& text, std::string_view prefix) { return text.rfind(prefix, 0) == 0; }

std::string span(int l1, int c1, int l2, int c2) {
  return R"({"start":{"line":)" + std::to_string(l1) + R"(,"column":)" + std::to_string(c1) + R"(},"end":{"line":)" +
         std::to_string(l2) + R"(,"column":)" + std::to_string(c2) + "}}";
}

std::string aggregateOver(const std::string& select) {
  return "CREATE CONTINUOUS AGGREGATE m AS " + select + " WITH (retention = '1d', refresh_interval = '1h')";
}

// ---------------------------------------------------------------------------
// Statement maps.

TEST(DocAlterTest, AlterTableAndSequenceMaps) {
  const std::string alter = R"({"kind":{"variant":"AlterTable","if_exists":false,"name":"t","action":)";
  const std::vector<DocCase> cases = {
      {"ALTER TABLE IF EXISTS t ADD COLUMN IF NOT EXISTS c INT NOT NULL",
       R"([{"kind":{"variant":"AlterTable","if_exists":true,"name":"t","action":{"variant":"AddColumn","if_not_exists":true,
           "column":{"name":"c","data_type":{"variant":"Int"},"constraints":[{"variant":"NotNull","name":null}]}}}}])"},
      {"ALTER TABLE t ADD c TEXT",
       "[" + alter + R"({"variant":"AddColumn","if_not_exists":false,"column":{"name":"c","data_type":{"variant":"Text"},"constraints":[]}}}}])"},
      {"ALTER TABLE t DROP COLUMN IF EXISTS c", "[" + alter + R"({"variant":"DropColumn","if_exists":true,"name":"c"}}}])"},
      // Quoted names that spell a flag stay names.
      {"ALTER TABLE \"IF EXISTS\" DROP \"IF EXISTS\"",
       R"([{"kind":{"variant":"AlterTable","if_exists":false,"name":"IF EXISTS","action":{"variant":"DropColumn","if_exists":false,"name":"IF EXISTS"}}}])"},
      {"ALTER TABLE t RENAME COLUMN a TO b", "[" + alter + R"({"variant":"RenameColumn","old_name":"a","new_name":"b"}}}])"},
      {"ALTER TABLE t RENAME TO u", "[" + alter + R"({"variant":"RenameTable","new_name":"u"}}}])"},
      {"ALTER TABLE t ALTER COLUMN c SET DATA TYPE VECTOR(3, l2)",
       "[" + alter + R"({"variant":"AlterColumn","name":"c","action":{"variant":"SetDataType","data_type":{"variant":"Vector","dimension":3,"metric":"L2"}}}}}])"},
      {"ALTER TABLE t ALTER c TYPE BIGINT",
       "[" + alter + R"({"variant":"AlterColumn","name":"c","action":{"variant":"SetDataType","data_type":{"variant":"BigInt"}}}}}])"},
      {"ALTER TABLE t ALTER c SET DEFAULT 0", "[" + alter + R"({"variant":"AlterColumn","name":"c","action":{"variant":"SetDefault","value":#0}}}}])"},
      {"ALTER TABLE t ALTER c DROP DEFAULT", "[" + alter + R"({"variant":"AlterColumn","name":"c","action":{"variant":"DropDefault"}}}}])"},
      {"ALTER TABLE t ALTER c SET NOT NULL", "[" + alter + R"({"variant":"AlterColumn","name":"c","action":{"variant":"SetNotNull"}}}}])"},
      {"ALTER TABLE IF EXISTS t ALTER COLUMN c DROP NOT NULL",
       R"([{"kind":{"variant":"AlterTable","if_exists":true,"name":"t","action":{"variant":"AlterColumn","name":"c","action":{"variant":"DropNotNull"}}}}])"},
      {"ALTER SEQUENCE IF EXISTS s RESTART WITH 100 INCREMENT 5 NO CYCLE",
       R"([{"kind":{"variant":"AlterSequence","if_exists":true,"name":"s","options":{"start":null,"increment":5,"min_value":null,
           "max_value":null,"cache":null,"cycle":false,"restart":100,"restart_default":false,"owned_by":null}}}])"},
      {"ALTER SEQUENCE s RESTART OWNED BY t.id",
       R"([{"kind":{"variant":"AlterSequence","if_exists":false,"name":"s","options":{"start":null,"increment":null,"min_value":null,
           "max_value":null,"cache":null,"cycle":null,"restart":null,"restart_default":true,"owned_by":"t.id"}}}])"},
      {"ALTER SEQUENCE s CACHE -1", "error: Parsed integer outside of valid range"},
      {"ALTER SEQUENCE s CACHE -00",
       R"([{"kind":{"variant":"AlterSequence","if_exists":false,"name":"s","options":{"start":null,"increment":null,"min_value":null,
           "max_value":null,"cache":0,"cycle":null,"restart":null,"restart_default":false,"owned_by":null}}}])"},
  };
  for (const DocCase& c : cases) EXPECT_EQ(sqlDocJson(c.input), expectedText(c.expected)) << c.input;
  // The statement and its action take the ALTER token's span.
  EXPECT_EQ(sqlDocJson("ALTER TABLE t\n  RENAME TO u", true),
            compactJson(R"([{"kind":{"variant":"AlterTable","if_exists":false,"name":"t","action":{"variant":"RenameTable","new_name":"u"},"span":)" +
                        span(1, 1, 1, 5) + R"(},"span":)" + span(1, 1, 1, 5) + "}]"));
}

std::string alterError(SqlNode* action) {
  vellum::Arena arena;
  SqlNode* alter = newNode(arena, nkAlterTable, {1, 1, 1, 5});
  alter->children().push_back(arena, newIdentifier(arena, "t", {1, 13, 1, 13}));
  alter->children().push_back(arena, action);
  vellum::BufferStream out(0);
  SqlWriter writer(out);
  try {
    writer.writeStatementKind(alter);
    return "written";
  } catch (const vellum::ParseError& e) {
    return e.message();
  }
}

TEST(DocAlterTest, ActionsAndOperationsTheParserNeverMakes) {
  vellum::Arena arena;
  SqlSpan s{1, 1, 1, 1};
  EXPECT_EQ(alterError(newNode(arena, nkAlterSetNotNull, s)), "invalid ALTER TABLE action");
  EXPECT_EQ(alterError(newIdentifier(arena, "x", s)), "invalid ALTER TABLE action");
  EXPECT_EQ(alterError(nullptr), "invalid ALTER TABLE action");
  for (SqlNode* operation : {newNode(arena, nkAlterRenameTable, s), newIdentifier(arena, "x", s), static_cast<SqlNode*>(nullptr)}) {
    SqlNode* column = newNode(arena, nkAlterColumn, s);
    column->children().push_back(arena, newIdentifier(arena, "c", s));
    column->children().push_back(arena, operation);
    EXPECT_EQ(alterError(column), "invalid ALTER COLUMN operation");
  }
}

TEST(DocAlterTest, ContinuousAggregateMap) {
  const std::string query =
      R"({"variant":"Select","distinct":false,"projection":[{"variant":"Expr","expr":{"kind":{"variant":"ColumnRef","table":null,"column":"a"},"span":)" +
      span(1, 41, 1, 41) + R"(},"alias":null,"span":)" + span(1, 41, 1, 41) +
      R"(}],"from":[{"variant":"Table","name":"t","alias":"x","span":)" + span(1, 50, 1, 50) +
      R"(}],"selection":null,"group_by":null,"having":null,"set_operations":[],"order_by":[],"limit":null,"offset":null,"span":)" +
      span(1, 34, 1, 50) + "}";
  const std::string option0 = R"({"key":"retention","key_span":)" + span(1, 58, 1, 66) + R"(,"value":"1d","value_span":)" +
                              span(1, 70, 1, 73) + R"(,"span":)" + span(1, 58, 1, 73) + "}";
  const std::string option1 = R"({"key":"refresh_interval","key_span":)" + span(1, 76, 1, 91) + R"(,"value":"1h","value_span":)" +
                              span(1, 95, 1, 98) + R"(,"span":)" + span(1, 76, 1, 98) + "}";
  EXPECT_EQ(sqlDocJson(kAggregate, true),
            compactJson(R"([{"kind":{"variant":"CreateContinuousAggregate","name":"m","name_span":)" + span(1, 29, 1, 29) +
                        R"(,"query":)" + query + R"(,"options":[)" + option0 + "," + option1 + R"(],"span":)" + span(1, 1, 1, 99) +
                        R"(},"span":)" + span(1, 1, 1, 99) + "}]"));
}

// A metrics table with a vector column, an HNSW index, a continuous aggregate
// over time buckets, and the ALTERs that follow.
TEST(DocAlterTest, TimeSeriesScript) {
  const std::string script =
      "CREATE TABLE metrics (\n"
      "  ts TIMESTAMP NOT NULL,\n"
      "  host VARCHAR(64) NOT NULL,\n"
      "  cpu DOUBLE,\n"
      "  embedding VECTOR(3, cosine)\n"
      ");\n"
      "CREATE INDEX metrics_embedding ON metrics (embedding) USING HNSW WITH (m = 16, ef_construction = 64);\n"
      "CREATE SEQUENCE metric_ids START WITH 1;\n"
      "CREATE CONTINUOUS AGGREGATE cpu_5m AS\n"
      "  SELECT time_bucket('5 minutes', ts) AS bucket, host, avg(cpu) AS avg_cpu, max(cpu)\n"
      "    FROM metrics m\n"
      "   WHERE cpu IS NOT NULL AND host LIKE 'web-%'\n"
      "   GROUP BY time_bucket('5 minutes', ts), host\n"
      "  HAVING count(*) > 1\n"
      "  WITH (retention = '30d', refresh_interval = '5m');\n"
      "ALTER TABLE metrics ADD COLUMN IF NOT EXISTS region TEXT DEFAULT 'eu';\n"
      "ALTER TABLE metrics ALTER COLUMN cpu SET NOT NULL;\n"
      "ALTER SEQUENCE metric_ids RESTART WITH 100;\n"
      "SELECT host, cosine_distance(embedding, [0.1, 0.2, 0.3]) AS d FROM metrics ORDER BY d LIMIT 5;\n";
  std::string json = exported(script);
  nlohmann::json document = nlohmann::json::parse(json, nullptr, false);
  ASSERT_TRUE(document.is_array()) << json;
  std::vector<std::string> variants;
  for (const auto& statement : document) variants.push_back(statement["kind"]["variant"]);
  EXPECT_EQ(variants, (std::vector<std::string>{"CreateTable", "CreateIndex", "CreateSequence", "CreateContinuousAggregate",
                                                "AlterTable", "AlterTable", "AlterSequence", "Select"}));
  const auto& aggregate = document[3]["kind"];
  EXPECT_EQ(aggregate["name"], "cpu_5m");
  EXPECT_EQ(aggregate["name_span"], nlohmann::json::parse(span(9, 29, 9, 34)));
  EXPECT_EQ(aggregate["query"]["group_by"],
            nlohmann::json::parse(expandExpected(R"([{"kind":{"variant":"FunctionCall","name":"time_bucket","args":[
                {"kind":{"variant":"Literal","literal":{"variant":"String","value":"5 minutes"}}},$ts],
                "distinct":false,"star":false,"over":null}},$host])")));
  EXPECT_EQ(aggregate["query"]["from"], nlohmann::json::parse(R"([{"variant":"Table","name":"metrics","alias":"m"}])"));
  EXPECT_EQ(aggregate["options"],
            nlohmann::json::parse(R"([{"key":"retention","key_span":)" + span(15, 9, 15, 17) + R"(,"value":"30d","value_span":)" +
                                  span(15, 21, 15, 25) + R"(},{"key":"refresh_interval","key_span":)" + span(15, 28, 15, 43) +
                                  R"(,"value":"5m","value_span":)" + span(15, 47, 15, 50) + "}]"));
  EXPECT_EQ(document[4]["kind"]["action"]["column"]["constraints"][0]["variant"], "Default");
}

// ---------------------------------------------------------------------------
// Validation through the export.

TEST(DocAlterTest, ValidationMessagesReachTheResultText) {
  const std::string refused = "error: staged continuous aggregate query cannot contain ";
  const std::string aggregateClauses = refused + "aggregate FILTER, WITHIN GROUP, or aggregate ORDER BY";
  const std::vector<DocCase> cases = {
      {aggregateOver("SELECT a FROM t WINDOW w AS (PARTITION BY a)"), refused + "WINDOW"},
      {aggregateOver("SELECT a FROM t QUALIFY row_number() OVER (ORDER BY a) = 1"), refused + "QUALIFY"},
      {aggregateOver("SELECT DISTINCT ON (host) host FROM t"), refused + "DISTINCT ON"},
      {aggregateOver("SELECT a FROM t ORDER BY a FETCH FIRST 3 ROWS WITH TIES"), refused + "FETCH ... WITH TIES"},
      {aggregateOver("SELECT a FROM t WHERE a IN (SELECT x FROM u, LATERAL (SELECT 1) s)"), refused + "LATERAL"},
      {aggregateOver("SELECT a FROM t WHERE a IN (SELECT n FROM generate_series(1, 3))"), refused + "a FROM table function"},
      {aggregateOver("SELECT a FROM t AS x(a, b)"), refused + "a table alias column list"},
      {aggregateOver("SELECT count(*) FILTER (WHERE a > 1) FROM t"), aggregateClauses},
      {aggregateOver("SELECT percentile_cont(0.5) WITHIN GROUP (ORDER BY v) FROM t"), aggregateClauses},
      {aggregateOver("SELECT string_agg(a, ',' ORDER BY a) FROM t"), aggregateClauses},
      {aggregateOver("SELECT a FROM t UNION VALUES (1)"), "error: set-operation right input must be nkSelect"},
      {"CREATE CONTINUOUS AGGREGATE m AS SELECT a FROM t WITH (Retention = '1d', refresh_interval = '1h')",
       "error: expected option retention"},
      {"CREATE CONTINUOUS AGGREGATE m AS SELECT a FROM t WITH (retention = '1d', REFRESH_INTERVAL = '1h')",
       "error: expected option refresh_interval"},
      {aggregateOver("SELECT " + repeat("a + ", 130) + "a FROM t"), "error: maximum staged AST nesting depth of 128 exceeded"},
      // Every aggregate is validated in list order, before anything is written.
      {aggregateOver("SELECT a FROM t QUALIFY a") + "; " + aggregateOver("SELECT a FROM t WINDOW w AS ()"), refused + "QUALIFY"},
      {std::string(kAggregate) + "; " + aggregateOver("SELECT a FROM t WINDOW w AS ()"), refused + "WINDOW"},
      // What passes: windows inside expressions, an OVER at the end of a call,
      // a derived table that is not LATERAL, JSON arrows over operations.
      {aggregateOver("SELECT avg(v) OVER (PARTITION BY h ORDER BY ts ROWS 2 PRECEDING) FROM t "
                     "WHERE a IN (SELECT x FROM (SELECT 1 AS x) s)"),
       ""},
      {aggregateOver("SELECT obj -> 3 * 2, f(a -> a + 1), a -> (b || c) FROM t"), ""},
  };
  for (const DocCase& c : cases) {
    std::string result = exported(c.input);
    if (c.expected.empty()) {
      EXPECT_TRUE(startsWith(result, R"([{"kind":{"variant":"CreateContinuousAggregate")")) << c.input << "\n" << result;
    } else {
      EXPECT_EQ(result, c.expected) << c.input;
    }
  }
}

TEST(DocAlterTest, ListsWithoutAnAggregateAreNeverValidated) {
  // Refused inside a continuous aggregate, written in any other statement,
  // also next to a valid aggregate.
  const std::string select = "SELECT a FROM t AS g(a) WINDOW w AS (ORDER BY a) QUALIFY a > 1";
  EXPECT_TRUE(startsWith(exported(select), R"([{"kind":{"variant":"Select")"));
  EXPECT_TRUE(startsWith(exported(select + "; " + kAggregate), R"([{"kind":{"variant":"Select")"));
  EXPECT_EQ(exported(std::string(kAggregate) + "; " + aggregateOver(select)),
            "error: staged continuous aggregate query cannot contain a table alias column list");
}

// ---------------------------------------------------------------------------
// Staged bytes equal plain bytes.

std::vector<std::uint8_t> plainBytes(const NodeList& statements) {
  vellum::BufferStream out(0);
  SqlWriter writer(out);
  writer.writeStatementList(statements);
  return std::vector<std::uint8_t>(out.data(), out.data() + out.size());
}

std::vector<std::uint8_t> stagedBytes(const NodeList& statements) {
  vellum::DocumentBytes document = writeSqlDocument(statements);
  return std::vector<std::uint8_t>(document.data.get(), document.data.get() + document.size);
}

// The statements of the existing end-to-end tables.
const char* const kRealistic[] = {
      "SELECT a, b FROM t WHERE c = 1",
      "SELECT customer_id, SUM(amount) AS total FROM orders GROUP BY customer_id HAVING SUM(amount) > 1000 ORDER BY total DESC LIMIT 10",
      "SELECT o.id, c.name FROM orders o JOIN customers c ON o.customer_id = c.id WHERE o.status IN ('paid', 'shipped')",
      "SELECT * FROM orders o LEFT JOIN refunds r USING (order_id) WHERE r.order_id IS NULL",
      "WITH monthly AS (SELECT date_trunc('month', created_at) AS month, SUM(amount) AS revenue FROM orders GROUP BY 1) SELECT month, revenue, LAG(revenue) OVER (ORDER BY month) AS prev FROM monthly",
      "SELECT region, product, SUM(sales) FROM fact_sales GROUP BY ROLLUP (region, product)",
      "SELECT dept, AVG(salary) FILTER (WHERE active) FROM employees GROUP BY CUBE (dept, title)",
      "SELECT id, ROW_NUMBER() OVER (PARTITION BY dept ORDER BY salary DESC) AS rn FROM employees QUALIFY rn <= 3",
      "SELECT CASE WHEN score >= 90 THEN 'A' WHEN score >= 80 THEN 'B' ELSE 'C' END AS grade, COUNT(*) FROM results GROUP BY 1",
      "SELECT name FROM users WHERE EXISTS (SELECT 1 FROM orders WHERE orders.user_id = users.id)",
      "SELECT name FROM users WHERE id NOT IN (SELECT user_id FROM banned)",
      "SELECT city FROM customers UNION SELECT city FROM suppliers ORDER BY city",
      "SELECT id FROM a INTERSECT SELECT id FROM b EXCEPT SELECT id FROM c",
      "SELECT payload->'user'->>'email' AS email FROM events WHERE payload->>'type' = 'signup'",
      "SELECT tags[1], tags[2:3] FROM posts",
      "SELECT percentile_cont(0.5) WITHIN GROUP (ORDER BY latency) FROM requests",
      "SELECT string_agg(name, ', ' ORDER BY name) FROM staff",
      "SELECT id, cosine_distance(embedding, [0.1, 0.2, 0.3]) AS d FROM items ORDER BY d LIMIT 5",
      "SELECT CAST(price AS DECIMAL(10, 2)), CAST(qty AS BIGINT), TRY_CAST(x AS INT) FROM items",
      "SELECT DISTINCT ON (user_id) user_id, created_at FROM sessions ORDER BY user_id, created_at DESC",
      "SELECT * FROM generate_series(1, 10) AS g(n)",
      "SELECT u.name, x.total FROM users u, LATERAL (SELECT SUM(amount) AS total FROM orders o WHERE o.user_id = u.id) x",
      "SELECT * FROM unnest(ARRAY[1, 2, 3]) WITH ORDINALITY AS t(v, i)",
      "SELECT COUNT(DISTINCT user_id) FROM events WHERE ts BETWEEN DATE '2024-01-01' AND DATE '2024-01-31'",
      "SELECT name FROM products WHERE name ILIKE '%phone%' AND price NOT BETWEEN 100 AND 200",
      "SELECT * FROM t WHERE a IS DISTINCT FROM b OR c IS NOT TRUE",
      "SELECT x FROM t WHERE x > ALL (SELECT y FROM u)",
      "SELECT x FROM t WHERE x = ANY (SELECT y FROM u)",
      "VALUES (1, 'one'), (2, 'two'), (3, 'three')",
      "SELECT a FROM t ORDER BY a NULLS LAST OFFSET 20 ROWS FETCH NEXT 10 ROWS ONLY",
      "SELECT a FROM t ORDER BY a FETCH FIRST 3 ROWS WITH TIES",
      "WITH RECURSIVE tree(id, parent) AS (SELECT id, parent FROM nodes WHERE parent IS NULL UNION ALL SELECT n.id, n.parent FROM nodes n JOIN tree t ON n.parent = t.id) SELECT * FROM tree",
      "SELECT SUM(x) OVER w, AVG(x) OVER (w ROWS BETWEEN 2 PRECEDING AND CURRENT ROW) FROM t WINDOW w AS (PARTITION BY g ORDER BY ts)",
      "SELECT a FROM t GROUP BY GROUPING SETS ((a, b), (a), ())",
      "SELECT extract(YEAR FROM created_at) AS yr, COUNT(*) FROM orders GROUP BY 1",
      "SELECT substring(name FROM 1 FOR 3), position('x' IN name), trim(name) FROM t",
      "SELECT COALESCE(a, b, 0), NULLIF(c, 0), GREATEST(d, e) FROM t",
      "SELECT -x, ~y, NOT z, x % 2, a || b, a & b, a | b, a ^ b, a << 1, a >> 1 FROM t",
      "SELECT * FROM t WHERE s SIMILAR TO 'a%' OR s GLOB '*.txt' OR s LIKE 'x!_%' ESCAPE '!'",
      "SELECT ?, ? FROM t WHERE id = ?",
      "SELECT CURRENT_TIMESTAMP, CURRENT_DATE, NOW()",
      "SELECT INTERVAL '1 day', TIMESTAMP '2024-01-01 00:00:00', JSON '{\"a\": 1}'",
      "SELECT a FROM s.t AS x FULL OUTER JOIN s.u AS y ON x.id = y.id RIGHT JOIN v ON true CROSS JOIN w",
      "SELECT (SELECT MAX(x) FROM t) AS mx, (1, 2) AS pair",
      "SELECT x FROM t WHERE (a, b) IN ((1, 2), (3, 4))",
      "SELECT 3.14159, 0.000000001, 100000000000000000000.0, 9223372036854775807",
      "SELECT * FROM (VALUES (1), (2)) AS v(n)",
      "SELECT * FROM (SELECT a FROM t UNION ALL SELECT a FROM u) s WHERE s.a > 0",
      "SELECT a FROM t WHERE a IS NULL AND b IS NOT NULL",
      "SELECT CAST(v AS VECTOR(768, COSINE)), CAST(m AS MAP<TEXT, INT>), CAST(s AS STRUCT<a INT, b TEXT>), CAST(l AS ARRAY<BIGINT>) FROM t",
      "SELECT rank() OVER (ORDER BY score DESC RANGE BETWEEN UNBOUNDED PRECEDING AND UNBOUNDED FOLLOWING) FROM t",
      "EXPLAIN SELECT * FROM t WHERE id = 1",
      "EXPLAIN ANALYZE (FORMAT JSON) SELECT COUNT(*) FROM t",
      "PRAGMA cache_size = 2000",
      "PRAGMA journal_mode = 'wal'",
      "SHOW TABLES",
      "SHOW INDEXES FROM orders",
      "DESCRIBE orders",
      "BEGIN",
      "START TRANSACTION ISOLATION LEVEL REPEATABLE READ",
      "SET TRANSACTION READ ONLY",
      "COMMIT",
      "ROLLBACK",
      "SAVEPOINT before_update",
      "ROLLBACK TO SAVEPOINT before_update",
      "RELEASE SAVEPOINT before_update",
      "SELECT d.name, COUNT(e.id) AS staff, AVG(e.salary) AS avg_salary\n  FROM departments d\n  LEFT JOIN employees e ON e.dept_id = d.id AND e.active\n WHERE d.region = ANY (SELECT region FROM regions WHERE enabled)\n GROUP BY d.name\nHAVING COUNT(e.id) > 5\n ORDER BY avg_salary DESC NULLS LAST",
      "SELECT o.id, SUM(i.qty * i.price) AS total FROM orders o JOIN items i ON i.order_id = o.id GROUP BY o.id",
      "WITH r AS (VALUES (1)) SELECT CASE x WHEN 1 THEN 'one' END FROM r LIMIT 1",
      "SAVEPOINT s; SET TRANSACTION ISOLATION LEVEL READ UNCOMMITTED; PRAGMA page_size",
      "CREATE TABLE users (\n  id BIGINT GENERATED ALWAYS AS IDENTITY PRIMARY KEY,\n  email VARCHAR(255) NOT NULL UNIQUE,\n  age INT CHECK (age >= 0),\n  created_at TIMESTAMP DEFAULT now()\n);\nCREATE TABLE orders (\n  id BIGINT GENERATED BY DEFAULT AS IDENTITY (START WITH 1000 INCREMENT BY 1),\n  user_id BIGINT NOT NULL REFERENCES users (id) ON DELETE CASCADE,\n  total DECIMAL(10, 2) NOT NULL DEFAULT 0,\n  CONSTRAINT orders_pk PRIMARY KEY (id),\n  CONSTRAINT orders_user_fk FOREIGN KEY (user_id) REFERENCES users (id) ON UPDATE RESTRICT ON DELETE SET NULL DEFERRABLE INITIALLY IMMEDIATE,\n  UNIQUE (user_id, total),\n  CHECK (total >= 0)\n)",
      "CREATE TABLE IF NOT EXISTS docs (id INT PRIMARY KEY, embedding VECTOR(768, cosine)) WITH (fillfactor = 90);\nCREATE INDEX IF NOT EXISTS docs_embedding_idx ON docs (embedding) USING HNSW WITH (m = 16, ef_construction = 200, metric = cosine);\nCREATE INDEX docs_body_idx ON docs (body) USING fts;\nCREATE INDEX docs_id_idx ON docs (id) USING btree",
      "CREATE VIEW order_totals (email, orders) AS SELECT u.email, count(*) FROM users u JOIN orders o ON o.user_id = u.id GROUP BY u.email",
      "CREATE SEQUENCE IF NOT EXISTS order_seq START WITH 100 INCREMENT BY -5 MINVALUE -1000 MAXVALUE 1000 CACHE 50 CYCLE RESTART WITH 7 OWNED BY orders.id;\nCREATE SEQUENCE s2 NO CYCLE NO MINVALUE NO MAXVALUE RESTART OWNED BY NONE",
      "DROP TABLE IF EXISTS orders; DROP VIEW v; DROP INDEX IF EXISTS i; DROP SEQUENCE s; TRUNCATE TABLE t",
      "CREATE TABLE t (a INT NOT NULL,\n  CHECK (a > 0)) WITH (x = 1)",
      "CREATE INDEX i ON t (v) USING hnsw WITH (m = 16)",
      "DROP SEQUENCE IF EXISTS s",
};

TEST(DocAlterTest, StagedBytesEqualPlainBytes) {
  for (const char* text : kRealistic) {
    for (bool aggregateFirst : {false, true}) {
      std::string sql = aggregateFirst ? std::string(kAggregate) + ";\n" + text : std::string(text) + ";\n" + kAggregate;
      vellum::Arena arena;
      NodeList statements = parseStatements(sql, arena);
      std::vector<std::uint8_t> plain = plainBytes(statements);
      EXPECT_EQ(stagedBytes(statements), plain) << sql;
      // The export returns the same bytes.
      ParseResult r = vellum_parse_sql(sql.data(), static_cast<std::int32_t>(sql.size()));
      ASSERT_EQ(r.status, 0) << sql;
      EXPECT_EQ(std::vector<std::uint8_t>(r.data, r.data + r.data_len), plain) << sql;
      vellum_free_buffer(r.data);
    }
  }
}

TEST(DocAlterTest, StagedLimitsReachTheResultText) {
  // A flat list of 30,000 items makes a document of some megabytes: plain
  // writing takes it, the staged path refuses it while counting.
  std::string wide = "SELECT " + repeat("1, ", 30000) + "1";
  EXPECT_TRUE(startsWith(exported(wide), R"([{"kind":{"variant":"Select")"));
  EXPECT_EQ(exported(wide + "; " + kAggregate), "error: staged MessagePack exceeds 1048576-byte limit");
  // Each operator adds two levels of maps: 70 of them pass 128 containers.
  std::string deep = "SELECT " + repeat("1 + ", 70) + "1";
  EXPECT_TRUE(startsWith(exported(deep), R"([{"kind":{"variant":"Select")"));
  EXPECT_EQ(exported(std::string(kAggregate) + "; " + deep),
            "error: maximum staged MessagePack nesting depth of 128 exceeded");
}

TEST(DocAlterTest, OneMebibyteChainsOnAOneMebibyteStack) {
  const std::size_t size = kFullSize ? 1048576 : 65536;
  std::string prefix = std::string(kAggregate) + "; SELECT ";
  std::string chain = prefix + repeat("1+", (size - prefix.size() - 1) / 2) + "1";
  std::string inside = aggregateOver("SELECT " + repeat("a+", (size - 120) / 2) + "a FROM t");
  ASSERT_LE(chain.size(), size);
  ASSERT_LE(inside.size(), size);
  std::string chainResult, insideResult;
  runOnThreadWithStack(kOneMiB, [&] {
    chainResult = exported(chain);
    insideResult = exported(inside);
  });
  // Only the aggregate is walked; the other statement's document is refused
  // by the stream at its 129th container.
  EXPECT_EQ(chainResult, "error: maximum staged MessagePack nesting depth of 128 exceeded");
  // Inside the aggregate the walk ends at the depth limit.
  EXPECT_EQ(insideResult, "error: maximum staged AST nesting depth of 128 exceeded");
}

// ---------------------------------------------------------------------------
// Spans in the documents of the corpus.

// Finds the span maps of a document ("span" and "*_span" entries) without
// building a tree (msgpack-c's parser keeps its own stack) and counts those
// that point outside the text: a start with an end at 0:0 or before it.
// All-zero spans are counted apart.
struct SpanVisitor : msgpack::null_visitor {
  struct Frame {
    bool map;
    bool inKey = false;
    int role = 0;  // 1 a span map, 2 its "start", 3 its "end"
    std::string key;
  };
  std::vector<Frame> frames;
  std::int64_t pos[4] = {};
  std::size_t spans = 0;
  std::size_t zero = 0;
  std::size_t broken = 0;

  static bool spanKey(const std::string& k) {
    return k == "span" || (k.size() > 5 && k.compare(k.size() - 5, 5, "_span") == 0);
  }
  bool visit_str(const char* v, std::uint32_t size) {
    if (!frames.empty() && frames.back().map && frames.back().inKey) frames.back().key.assign(v, size);
    return true;
  }
  bool visit_positive_integer(std::uint64_t v) {
    if (frames.empty() || frames.back().inKey || frames.back().role < 2) return true;
    pos[(frames.back().role - 2) * 2 + (frames.back().key == "column" ? 1 : 0)] = static_cast<std::int64_t>(v);
    return true;
  }
  bool visit_negative_integer(std::int64_t) {
    if (!frames.empty() && frames.back().role >= 2 && !frames.back().inKey) ++broken;
    return true;
  }
  bool start_map(std::uint32_t) {
    int role = 0;
    if (!frames.empty() && frames.back().map) {
      const Frame& parent = frames.back();
      if (parent.role == 1 && parent.key == "start") {
        role = 2;
      } else if (parent.role == 1 && parent.key == "end") {
        role = 3;
      } else if (parent.role == 0 && spanKey(parent.key)) {
        role = 1;
        std::fill(pos, pos + 4, 0);
      }
    }
    frames.push_back({true, false, role, {}});
    return true;
  }
  bool start_map_key() {
    frames.back().inKey = true;
    return true;
  }
  bool end_map_key() {
    frames.back().inKey = false;
    return true;
  }
  bool end_map() {
    if (frames.back().role == 1) {
      ++spans;
      bool startZero = pos[0] == 0 && pos[1] == 0;
      bool endZero = pos[2] == 0 && pos[3] == 0;
      if (startZero && endZero) {
        ++zero;
      } else if (startZero || endZero || pos[2] < pos[0] || (pos[2] == pos[0] && pos[3] < pos[1])) {
        ++broken;
      }
    }
    frames.pop_back();
    return true;
  }
  bool start_array(std::uint32_t) {
    frames.push_back({false, false, 0, {}});
    return true;
  }
  bool end_array() {
    frames.pop_back();
    return true;
  }
};

TEST(DocAlterTest, SpanVisitorFindsBrokenSpans) {
  // The visitor itself, on documents written by hand.
  auto count = [](const std::string& json) {
    std::vector<std::uint8_t> bytes = nlohmann::json::to_msgpack(nlohmann::json::parse(json));
    SpanVisitor visitor;
    std::size_t offset = 0;
    EXPECT_TRUE(msgpack::parse(reinterpret_cast<const char*>(bytes.data()), bytes.size(), offset, visitor));
    return std::to_string(visitor.spans) + "/" + std::to_string(visitor.broken) + "/" + std::to_string(visitor.zero);
  };
  EXPECT_EQ(count(R"([{"span":)" + span(1, 8, 0, 0) + R"(,"x":{"name_span":)" + span(2, 1, 1, 9) + "}}]"), "2/2/0");
  EXPECT_EQ(count(R"([{"span":)" + span(1, 8, 1, 8) + R"(,"x":[{"key_span":)" + span(0, 0, 0, 0) + "}]}]"), "2/0/1");
}

// Nodes built from a child's span when the child has no position yet: the
// arrow calls end at their last token; subscripts, VALUES rows and grouping
// sets start without a position and take their parent's whole span.
TEST(DocAlterTest, SpansBuiltFromOperandsWithoutPosition) {
  const char* const texts[] = {
      "SELECT obj -> 3 * 2",
      "SELECT f(a -> a + 1)",
      "SELECT a -> (b IN (1)) ->> (c BETWEEN 1 AND 2), a #> (b || c) #>> (NOT d)",
      "SELECT (a + b) -> 'x', (a + b)[1], (a || b)[1:2]",
      "VALUES ((1 + 2), 3), (-1, a -> 1 + 2)",
      "SELECT a FROM t GROUP BY GROUPING SETS (a + b, (a)), ROLLUP (a -> b = c)",
      "CREATE TABLE t (a INT DEFAULT (1 + 2) -> 'x' CHECK (a -> 3 * 2 > 0))",
  };
  for (const char* text : texts) {
    vellum::DocumentBytes document = vellum::parseSqlDocument(text);
    SpanVisitor visitor;
    std::size_t offset = 0;
    ASSERT_TRUE(msgpack::parse(reinterpret_cast<const char*>(document.data.get()), document.size, offset, visitor));
    EXPECT_EQ(visitor.broken, 0u) << text;
    EXPECT_GT(visitor.spans, 0u) << text;
  }
  // Only CHECK expressions and MERGE conditions keep all-zero spans (the
  // comparison above), even below a node that has a span of its own.
  const struct {
    const char* text;
    std::size_t zero;
  } kept[] = {
      {"CREATE TABLE t (a INT CHECK (a -> 3 * 2 > 0))", 2},  // the comparison and the multiplication below the call
      {"CREATE TABLE t (a INT, CHECK (f(a OR b)))", 1},
      {"MERGE INTO t USING u ON a AND b WHEN MATCHED AND f(a AND b) THEN DELETE", 1},
  };
  for (const auto& c : kept) {
    vellum::DocumentBytes document = vellum::parseSqlDocument(c.text);
    SpanVisitor visitor;
    std::size_t offset = 0;
    ASSERT_TRUE(msgpack::parse(reinterpret_cast<const char*>(document.data.get()), document.size, offset, visitor));
    EXPECT_EQ(visitor.zero, c.zero) << c.text;
  }
}

TEST(DocAlterTest, CorpusDocumentsHoldValidSpansAndWriteTheSameStaged) {
  std::filesystem::path dir = std::filesystem::path(VELLUM_CORPUS_DIR) / "sql";
  if (!std::filesystem::exists(dir)) GTEST_SKIP() << "no corpus at " << dir;
  std::size_t parsed = 0, compared = 0, refusedByLimits = 0, spans = 0, zero = 0;
  for (const auto& entry : std::filesystem::directory_iterator(dir)) {
    if (entry.path().extension() != ".jsonl") continue;
    for (const std::string& text : readCorpusFile(entry.path())) {
      vellum::Arena arena;
      NodeList statements;
      std::vector<std::uint8_t> plain;
      try {
        statements = parseStatements(text, arena);
        plain = plainBytes(statements);
      } catch (const vellum::RecoverableError&) {
        continue;  // refused by the grammar or by the writer
      }
      ++parsed;
      SpanVisitor visitor;
      std::size_t offset = 0;
      ASSERT_TRUE(msgpack::parse(reinterpret_cast<const char*>(plain.data()), plain.size(), offset, visitor)) << text;
      EXPECT_EQ(visitor.broken, 0u) << text;
      spans += visitor.spans;
      zero += visitor.zero;
      // The same statements with an aggregate after them, on both paths.
      NodeList aggregate = parseStatements(kAggregate, arena);
      statements.push_back(arena, aggregate[0]);
      std::vector<std::uint8_t> withAggregate = plainBytes(statements);
      try {
        EXPECT_EQ(stagedBytes(statements), withAggregate) << text;
        ++compared;
      } catch (const vellum::RecoverableError& e) {
        EXPECT_TRUE(e.message() == "maximum staged MessagePack nesting depth of 128 exceeded" ||
                    e.message() == "staged MessagePack exceeds 1048576-byte limit")
            << text << "\n"
            << e.message();
        ++refusedByLimits;
      }
    }
  }
  std::printf("corpus: %zu texts written, %zu written staged as plain, %zu over the staged limits; %zu spans, %zu all-zero\n",
              parsed, compared, refusedByLimits, spans, zero);
  EXPECT_GT(parsed, 0u);
}

}  // namespace
}  // namespace vellum_test
