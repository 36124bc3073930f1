// SQL documents end to end through the C interface: realistic analytical
// queries and utility statements come back as complete documents, whole
// expected documents for a selection of them, the error path, and parse calls
// running concurrently.
#include <cstdint>
#include <string>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include "support/msgpack_json.h"
#include "vellum_sql_parser.h"

namespace vellum_test {
namespace {

struct Outcome {
  std::vector<std::uint8_t> bytes;
  std::string error;
  bool ok = false;
};

Outcome parse(const std::string& sql) {
  ParseResult r = vellum_parse_sql(sql.data(), static_cast<std::int32_t>(sql.size()));
  Outcome o;
  o.ok = r.status == 0;
  if (o.ok) {
    EXPECT_EQ(r.error, nullptr);
    EXPECT_EQ(r.error_len, 0);
    EXPECT_NE(r.data, nullptr);
    o.bytes.assign(r.data, r.data + r.data_len);
  } else {
    EXPECT_EQ(r.data, nullptr);
    EXPECT_EQ(r.data_len, 0);
    o.error.assign(r.error, static_cast<std::size_t>(r.error_len));
  }
  vellum_free_buffer(r.data);
  vellum_free_buffer(r.error);
  return o;
}

std::string docJson(const std::string& sql, bool spans = false) {
  Outcome o = parse(sql);
  if (!o.ok) return "error: " + o.error;
  JsonOptions options;
  if (!spans) options.dropKeys = {"span"};
  return msgpackToJson(o.bytes.data(), o.bytes.size(), options);
}

struct RealisticCase {
  const char* sql;
  const char* variant;                  // of the statement map
  std::vector<const char*> fragments;   // compact JSON that must occur (spans dropped)
};

const std::vector<RealisticCase>& realisticCases() {
  static const std::vector<RealisticCase> cases = {
      {"SELECT a, b FROM t WHERE c = 1", "Select", {R"("op":"Eq")"}},
      {"SELECT customer_id, SUM(amount) AS total FROM orders GROUP BY customer_id HAVING SUM(amount) > 1000 "
       "ORDER BY total DESC LIMIT 10",
       "Select",
       {R"("alias":"total")", R"("group_by":[{"variant":"Expr")", R"("asc":false)", R"("value":"1000")"}},
      {"SELECT o.id, c.name FROM orders o JOIN customers c ON o.customer_id = c.id WHERE o.status IN ('paid', 'shipped')",
       "Select",
       {R"("join_type":"Inner")", R"("variant":"InList")", R"({"variant":"Table","name":"customers","alias":"c","columns":[]})"}},
      {"SELECT * FROM orders o LEFT JOIN refunds r USING (order_id) WHERE r.order_id IS NULL",
       "Select",
       {R"("join_type":"Left","condition":null,"using":["order_id"])", R"("variant":"IsNull")"}},
      {"WITH monthly AS (SELECT date_trunc('month', created_at) AS month, SUM(amount) AS revenue FROM orders GROUP BY 1) "
       "SELECT month, revenue, LAG(revenue) OVER (ORDER BY month) AS prev FROM monthly",
       "Select",
       {R"("with":{"recursive":false,"ctes":[{"name":"monthly")", R"("name":"LAG")"}},
      {"SELECT region, product, SUM(sales) FROM fact_sales GROUP BY ROLLUP (region, product)", "Select",
       {R"("variant":"Rollup")"}},
      {"SELECT dept, AVG(salary) FILTER (WHERE active) FROM employees GROUP BY CUBE (dept, title)", "Select",
       {R"("variant":"Cube")", R"("filter":{"kind":{"variant":"ColumnRef","table":null,"column":"active"}})"}},
      {"SELECT id, ROW_NUMBER() OVER (PARTITION BY dept ORDER BY salary DESC) AS rn FROM employees QUALIFY rn <= 3",
       "Select",
       {R"("qualify":{"kind":{"variant":"BinaryOp")", R"("partition_by":[{"kind":{"variant":"ColumnRef")"}},
      {"SELECT CASE WHEN score >= 90 THEN 'A' WHEN score >= 80 THEN 'B' ELSE 'C' END AS grade, COUNT(*) FROM results "
       "GROUP BY 1",
       "Select",
       {R"("variant":"Case","operand":null)", R"("star":true)"}},
      {"SELECT name FROM users WHERE EXISTS (SELECT 1 FROM orders WHERE orders.user_id = users.id)", "Select",
       {R"("variant":"Exists")", R"("table":"orders","column":"user_id")"}},
      {"SELECT name FROM users WHERE id NOT IN (SELECT user_id FROM banned)", "Select",
       {R"("variant":"InSubquery")", R"("negated":true)"}},
      {"SELECT city FROM customers UNION SELECT city FROM suppliers ORDER BY city", "Select",
       {R"("set_operations":[{"operator":"Union","all":false)"}},
      {"SELECT id FROM a INTERSECT SELECT id FROM b EXCEPT SELECT id FROM c", "Select",
       {R"("operator":"Intersect")", R"("operator":"Except")"}},
      {"SELECT payload->'user'->>'email' AS email FROM events WHERE payload->>'type' = 'signup'", "Select",
       {R"("name":"JSONB_EXTRACT_TEXT")", R"("name":"JSONB_EXTRACT")"}},
      {"SELECT tags[1], tags[2:3] FROM posts", "Select", {R"("name":"ARRAY_SUBSCRIPT")", R"("name":"ARRAY_SLICE")"}},
      {"SELECT percentile_cont(0.5) WITHIN GROUP (ORDER BY latency) FROM requests", "Select",
       {R"("within_group":[{"expr":)", R"("value":"0.5")"}},
      {"SELECT string_agg(name, ', ' ORDER BY name) FROM staff", "Select", {R"("order_by":[{"expr":)", R"("within_group":[])"}},
      {"SELECT id, cosine_distance(embedding, [0.1, 0.2, 0.3]) AS d FROM items ORDER BY d LIMIT 5", "Select",
       {R"("variant":"VectorLiteral","values":[0.1,0.2,0.3])"}},
      {"SELECT CAST(price AS DECIMAL(10, 2)), CAST(qty AS BIGINT), TRY_CAST(x AS INT) FROM items", "Select",
       {R"({"variant":"Decimal","precision":10,"scale":2})", R"("variant":"TryCast")", R"({"variant":"BigInt"})"}},
      {"SELECT DISTINCT ON (user_id) user_id, created_at FROM sessions ORDER BY user_id, created_at DESC", "Select",
       {R"("distinct_on":[{"kind":{"variant":"ColumnRef","table":null,"column":"user_id"}}])"}},
      {"SELECT * FROM generate_series(1, 10) AS g(n)", "Select",
       {R"({"variant":"Function","name":"generate_series")", R"("alias":"g","columns":["n"])"}},
      {"SELECT u.name, x.total FROM users u, LATERAL (SELECT SUM(amount) AS total FROM orders o WHERE o.user_id = u.id) x",
       "Select",
       {R"("variant":"Derived")", R"("lateral":true)", R"("join_type":"Cross")"}},
      {"SELECT * FROM unnest(ARRAY[1, 2, 3]) WITH ORDINALITY AS t(v, i)", "Select",
       {R"("with_ordinality":true)", R"("name":"ARRAY_VALUE")"}},
      {"SELECT COUNT(DISTINCT user_id) FROM events WHERE ts BETWEEN DATE '2024-01-01' AND DATE '2024-01-31'", "Select",
       {R"("distinct":true)", R"("variant":"Between")", R"("target_type":{"variant":"Date"})"}},
      {"SELECT name FROM products WHERE name ILIKE '%phone%' AND price NOT BETWEEN 100 AND 200", "Select",
       {R"("kind":"ILike")", R"("negated":true)"}},
      {"SELECT * FROM t WHERE a IS DISTINCT FROM b OR c IS NOT TRUE", "Select",
       {R"("variant":"IsDistinctFrom")", R"("value":"True","negated":true)"}},
      {"SELECT x FROM t WHERE x > ALL (SELECT y FROM u)", "Select", {R"("op":"Gt","quantifier":"All")"}},
      {"SELECT x FROM t WHERE x = ANY (SELECT y FROM u)", "Select", {R"("op":"Eq","quantifier":"Any")"}},
      {"VALUES (1, 'one'), (2, 'two'), (3, 'three')", "Values", {R"("value":"three")"}},
      {"SELECT a FROM t ORDER BY a NULLS LAST OFFSET 20 ROWS FETCH NEXT 10 ROWS ONLY", "Select",
       {R"("nulls_first":false)", R"("limit":{"kind":{"variant":"Literal","literal":{"variant":"Number","value":"10"}}})",
        R"("offset":{"kind":{"variant":"Literal","literal":{"variant":"Number","value":"20"}}})"}},
      {"SELECT a FROM t ORDER BY a FETCH FIRST 3 ROWS WITH TIES", "Select", {R"("limit_with_ties":true)"}},
      {"WITH RECURSIVE tree(id, parent) AS (SELECT id, parent FROM nodes WHERE parent IS NULL UNION ALL "
       "SELECT n.id, n.parent FROM nodes n JOIN tree t ON n.parent = t.id) SELECT * FROM tree",
       "Select",
       {R"("recursive":true)", R"("columns":["id","parent"])", R"("operator":"Union","all":true)"}},
      {"SELECT SUM(x) OVER w, AVG(x) OVER (w ROWS BETWEEN 2 PRECEDING AND CURRENT ROW) FROM t "
       "WINDOW w AS (PARTITION BY g ORDER BY ts)",
       "Select",
       {R"("windows":[{"name":"w")", R"("start_bound":{"variant":"Preceding","value":2})"}},
      {"SELECT a FROM t GROUP BY GROUPING SETS ((a, b), (a), ())", "Select", {R"("variant":"GroupingSets")", R"(,[]])"}},
      {"SELECT extract(YEAR FROM created_at) AS yr, COUNT(*) FROM orders GROUP BY 1", "Select",
       {R"("name":"extract","args":[{"kind":{"variant":"Literal","literal":{"variant":"String","value":"year"}}})"}},
      {"SELECT substring(name FROM 1 FOR 3), position('x' IN name), trim(name) FROM t", "Select",
       {R"("name":"SUBSTR")", R"("name":"STRPOS")", R"("name":"trim")"}},
      {"SELECT COALESCE(a, b, 0), NULLIF(c, 0), GREATEST(d, e) FROM t", "Select", {R"("name":"NULLIF")"}},
      {"SELECT -x, ~y, NOT z, x % 2, a || b, a & b, a | b, a ^ b, a << 1, a >> 1 FROM t", "Select",
       {R"("op":"Minus")", R"("op":"BitNot")", R"("op":"Not")", R"("op":"Mod")", R"("op":"StringConcat")",
        R"("op":"BitAnd")", R"("op":"BitOr")", R"("op":"BitXor")", R"("op":"ShiftLeft")", R"("op":"ShiftRight")"}},
      {"SELECT * FROM t WHERE s SIMILAR TO 'a%' OR s GLOB '*.txt' OR s LIKE 'x!_%' ESCAPE '!'", "Select",
       {R"("kind":"SimilarTo")", R"("kind":"Glob")",
        R"("escape":{"kind":{"variant":"Literal","literal":{"variant":"String","value":"!"}}})"}},
      {"SELECT ?, ? FROM t WHERE id = ?", "Select", {R"("index":3)"}},
      {"SELECT CURRENT_TIMESTAMP, CURRENT_DATE, NOW()", "Select", {R"("name":"CURRENT_TIMESTAMP","args":[])"}},
      {"SELECT INTERVAL '1 day', TIMESTAMP '2024-01-01 00:00:00', JSON '{\"a\": 1}'", "Select",
       {R"("variant":"Interval","value":"1 day")", R"({"variant":"Timestamp"})", R"({"variant":"Json"})"}},
      {"SELECT a FROM s.t AS x FULL OUTER JOIN s.u AS y ON x.id = y.id RIGHT JOIN v ON true CROSS JOIN w", "Select",
       {R"("join_type":"Full")", R"("join_type":"Right")", R"("join_type":"Cross")", R"("name":"s.u","alias":"y")"}},
      {"SELECT (SELECT MAX(x) FROM t) AS mx, (1, 2) AS pair", "Select",
       {R"("variant":"ScalarSubquery")", R"("variant":"Row")"}},
      {"SELECT x FROM t WHERE (a, b) IN ((1, 2), (3, 4))", "Select", {R"("variant":"InList","expr":{"kind":{"variant":"Row")"}},
      {"SELECT 3.14159, 0.000000001, 100000000000000000000.0, 9223372036854775807", "Select",
       {R"("value":"3.14159")", R"("value":"1e-9")", R"("value":"1e+20")", R"("value":"9223372036854775807")"}},
      {"SELECT * FROM (VALUES (1), (2)) AS v(n)", "Select", {R"("subquery":{"variant":"Values")", R"("alias":"v","columns":["n"])"}},
      {"SELECT * FROM (SELECT a FROM t UNION ALL SELECT a FROM u) s WHERE s.a > 0", "Select",
       {R"("variant":"Derived")", R"("operator":"Union","all":true)"}},
      {"SELECT a FROM t WHERE a IS NULL AND b IS NOT NULL", "Select", {R"("variant":"IsNull")"}},
      {"SELECT CAST(v AS VECTOR(768, COSINE)), CAST(m AS MAP<TEXT, INT>), CAST(s AS STRUCT<a INT, b TEXT>), "
       "CAST(l AS ARRAY<BIGINT>) FROM t",
       "Select",
       {R"({"variant":"Vector","dimension":768,"metric":"Cosine"})", R"({"variant":"Map","key":{"variant":"Text"})",
        R"("variant":"Struct","fields":[)", R"({"variant":"Array","element":{"variant":"BigInt"}})"}},
      {"SELECT rank() OVER (ORDER BY score DESC RANGE BETWEEN UNBOUNDED PRECEDING AND UNBOUNDED FOLLOWING) FROM t",
       "Select",
       {R"("units":"Range")", R"("end_bound":{"variant":"UnboundedFollowing"})"}},
      {"EXPLAIN SELECT * FROM t WHERE id = 1", "Explain", {R"("analyze":false,"format":"Text")"}},
      {"EXPLAIN ANALYZE (FORMAT JSON) SELECT COUNT(*) FROM t", "Explain", {R"("analyze":true,"format":"Json")"}},
      {"PRAGMA cache_size = 2000", "Pragma", {R"("value":2000)"}},
      {"PRAGMA journal_mode = 'wal'", "Pragma", {R"("value":"wal")"}},
      {"SHOW TABLES", "Pragma", {R"("name":"show_tables","value":null)"}},
      {"SHOW INDEXES FROM orders", "Pragma", {R"("name":"show_indexes","value":"orders")"}},
      {"DESCRIBE orders", "Pragma", {R"("name":"describe","value":"orders")"}},
      {"BEGIN", "Begin", {R"("isolation_level":null,"access_mode":null)"}},
      {"START TRANSACTION ISOLATION LEVEL REPEATABLE READ", "Begin", {R"("isolation_level":"RepeatableRead")"}},
      {"SET TRANSACTION READ ONLY", "SetTransaction", {R"("access_mode":"ReadOnly")"}},
      {"COMMIT", "Commit", {}},
      {"ROLLBACK", "Rollback", {}},
      {"SAVEPOINT before_update", "Savepoint", {R"("name":"before_update")"}},
      {"ROLLBACK TO SAVEPOINT before_update", "RollbackToSavepoint", {R"("name":"before_update")"}},
      {"RELEASE SAVEPOINT before_update", "ReleaseSavepoint", {R"("name":"before_update")"}},
      {"SELECT d.name, COUNT(e.id) AS staff, AVG(e.salary) AS avg_salary\n"
       "  FROM departments d\n"
       "  LEFT JOIN employees e ON e.dept_id = d.id AND e.active\n"
       " WHERE d.region = ANY (SELECT region FROM regions WHERE enabled)\n"
       " GROUP BY d.name\n"
       "HAVING COUNT(e.id) > 5\n"
       " ORDER BY avg_salary DESC NULLS LAST",
       "Select",
       {R"("op":"And")", R"("quantifier":"Any")", R"("nulls_first":false)"}},
  };
  return cases;
}

TEST(ApiSqlTest, RealisticStatementsComeBackAsDocuments) {
  ASSERT_GE(realisticCases().size(), 60u);
  for (const RealisticCase& c : realisticCases()) {
    std::string json = docJson(c.sql);
    std::string head = R"([{"kind":{"variant":")" + std::string(c.variant) + "\"";
    EXPECT_EQ(json.rfind(head, 0), 0u) << c.sql << "\n" << json;
    EXPECT_EQ(json.substr(json.size() < 2 ? 0 : json.size() - 2), "}]") << c.sql;
    for (const char* fragment : c.fragments) {
      EXPECT_NE(json.find(fragment), std::string::npos) << c.sql << "\nmissing: " << fragment << "\nin: " << json;
    }
  }
}

TEST(ApiSqlTest, OneScriptGivesOneEnvelopePerStatement) {
  std::string script;
  for (const RealisticCase& c : realisticCases()) script += std::string(c.sql) + ";\n";
  std::string json = docJson(script);
  std::string expected = "[";
  for (std::size_t i = 0; i < realisticCases().size(); ++i) {
    std::string single = docJson(realisticCases()[i].sql);
    if (i != 0) expected += ",";
    expected += single.substr(1, single.size() - 2);
  }
  expected += "]";
  EXPECT_EQ(json, expected);
}

TEST(ApiSqlTest, WholeDocuments) {
  struct Case {
    const char* sql;
    const char* expected;
  };
  const Case cases[] = {
      {"SELECT o.id, SUM(i.qty * i.price) AS total FROM orders o JOIN items i ON i.order_id = o.id GROUP BY o.id",
       R"([{"kind":{"variant":"Select","distinct":false,"distinct_on":[],"projection":[
            {"variant":"Expr","expr":{"kind":{"variant":"ColumnRef","table":"o","column":"id"}},"alias":null},
            {"variant":"Expr","expr":{"kind":{"variant":"FunctionCall","name":"SUM","args":[
               {"kind":{"variant":"BinaryOp","left":{"kind":{"variant":"ColumnRef","table":"i","column":"qty"}},"op":"Mul",
                        "right":{"kind":{"variant":"ColumnRef","table":"i","column":"price"}}}}],
               "distinct":false,"star":false,"over":null}},"alias":"total"}],
          "from":[{"variant":"Join","left":{"variant":"Table","name":"orders","alias":"o","columns":[]},
                   "right":{"variant":"Table","name":"items","alias":"i","columns":[]},"join_type":"Inner",
                   "condition":{"kind":{"variant":"BinaryOp","left":{"kind":{"variant":"ColumnRef","table":"i","column":"order_id"}},
                                "op":"Eq","right":{"kind":{"variant":"ColumnRef","table":"o","column":"id"}}}},"using":null}],
          "selection":null,"group_by":[{"variant":"Expr","expr":{"kind":{"variant":"ColumnRef","table":"o","column":"id"}}}],
          "having":null,"windows":[],"qualify":null,"set_operations":[],"order_by":[],"limit":null,"offset":null,
          "limit_with_ties":false}}])"},
      {"WITH r AS (VALUES (1)) SELECT CASE x WHEN 1 THEN 'one' END FROM r LIMIT 1",
       R"([{"kind":{"variant":"Select",
          "with":{"recursive":false,"ctes":[{"name":"r","columns":[],"query":{"variant":"Values",
            "rows":[[{"kind":{"variant":"Literal","literal":{"variant":"Number","value":"1"}}}]],
            "set_operations":[],"order_by":[],"limit":null,"offset":null,"limit_with_ties":false}}]},
          "distinct":false,"distinct_on":[],"projection":[{"variant":"Expr","expr":{"kind":{"variant":"Case",
            "operand":{"kind":{"variant":"ColumnRef","table":null,"column":"x"}},
            "branches":[{"when":{"kind":{"variant":"Literal","literal":{"variant":"Number","value":"1"}}},
                         "then":{"kind":{"variant":"Literal","literal":{"variant":"String","value":"one"}}}}],
            "else_expr":null}},"alias":null}],
          "from":[{"variant":"Table","name":"r","alias":null,"columns":[]}],"selection":null,"group_by":null,"having":null,
          "windows":[],"qualify":null,"set_operations":[],"order_by":[],
          "limit":{"kind":{"variant":"Literal","literal":{"variant":"Number","value":"1"}}},"offset":null,"limit_with_ties":false}}])"},
      {"SAVEPOINT s; SET TRANSACTION ISOLATION LEVEL READ UNCOMMITTED; PRAGMA page_size",
       R"([{"kind":{"variant":"Savepoint","name":"s"}},
           {"kind":{"variant":"SetTransaction","isolation_level":"ReadUncommitted","access_mode":null}},
           {"kind":{"variant":"Pragma","name":"page_size","value":null}}])"},
  };
  for (const Case& c : cases) EXPECT_EQ(docJson(c.sql), compactJson(c.expected)) << c.sql;

  // With spans, over two lines.
  EXPECT_EQ(docJson("SELECT x\n  FROM t;", true),
            compactJson(R"([{"kind":{"variant":"Select","distinct":false,"distinct_on":[],"projection":[{"variant":"Expr",
              "expr":{"kind":{"variant":"ColumnRef","table":null,"column":"x"},"span":{"start":{"line":1,"column":8},"end":{"line":1,"column":8}}},
              "alias":null,"span":{"start":{"line":1,"column":8},"end":{"line":1,"column":8}}}],
              "from":[{"variant":"Table","name":"t","alias":null,"columns":[],"span":{"start":{"line":2,"column":8},"end":{"line":2,"column":8}}}],
              "selection":null,"group_by":null,"having":null,"windows":[],"qualify":null,"set_operations":[],"order_by":[],
              "limit":null,"offset":null,"limit_with_ties":false},"span":{"start":{"line":1,"column":1},"end":{"line":1,"column":6}}}])"));
}

TEST(ApiSqlTest, Errors) {
  EXPECT_EQ(docJson("SELECT CAST(x AS DECIMAL(10, 20)) FROM t"),
            "error: DECIMAL requires 1 <= precision <= 38 and 0 <= scale <= precision");
  EXPECT_EQ(docJson("SELECT 1 +"), "error: Parse error at line 1, col 11: unexpected token in expression (got tkEof '')");
  Outcome empty = parse("");
  ASSERT_TRUE(empty.ok);
  EXPECT_EQ(empty.bytes, std::vector<std::uint8_t>{0x90});
}

TEST(ApiSqlTest, ConcurrentCallsGiveIdenticalDocuments) {
  std::string script;
  for (const RealisticCase& c : realisticCases()) script += std::string(c.sql) + ";\n";
  const std::vector<std::uint8_t> expected = parse(script).bytes;
  ASSERT_FALSE(expected.empty());
  std::vector<std::thread> threads;
  std::vector<int> mismatches(4, 0);
  for (int t = 0; t < 4; ++t) {
    threads.emplace_back([&, t] {
      for (int i = 0; i < 20; ++i) {
        ParseResult r = vellum_parse_sql(script.data(), static_cast<std::int32_t>(script.size()));
        if (r.status != 0 || std::vector<std::uint8_t>(r.data, r.data + r.data_len) != expected) ++mismatches[t];
        vellum_free_buffer(r.data);
        vellum_free_buffer(r.error);
      }
    });
  }
  for (std::thread& thread : threads) thread.join();
  EXPECT_EQ(mismatches, std::vector<int>(4, 0));
}

}  // namespace
}  // namespace vellum_test
