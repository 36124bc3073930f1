// Query maps in SQL documents: the full SELECT map and its clauses, VALUES,
// set operations, WITH and CTEs, FROM items and joins, grouping elements,
// named windows, ORDER BY / LIMIT / OFFSET, and the restricted SELECT map.
#include <initializer_list>
#include <string>
#include <utility>
#include <vector>

#include <gtest/gtest.h>

#include "doc_support.h"

namespace vellum_test {
namespace {

using Entries = std::initializer_list<std::pair<std::string, std::string>>;

// Builds a map from `keys` in their order, taking each value from
// `overrides` when given there and from `defaults` otherwise; a key whose
// default is empty is written only when overridden.
std::string orderedMap(const std::vector<std::pair<std::string, std::string>>& defaults, Entries overrides) {
  std::string out = "{";
  bool first = true;
  for (const auto& [key, fallback] : defaults) {
    std::string value = fallback;
    for (const auto& [k, v] : overrides) {
      if (k == key) value = v;
    }
    if (value.empty()) continue;
    if (!first) out += ",";
    first = false;
    out += "\"" + key + "\":" + value;
  }
  for (const auto& [k, v] : overrides) {
    bool known = false;
    for (const auto& d : defaults) known = known || d.first == k;
    EXPECT_TRUE(known) << "unknown key in the test table: " << k;
  }
  return out + "}";
}

// The full SELECT map: 15 entries, 16 with "with" (second).
std::string select(Entries overrides) {
  return orderedMap({{"variant", R"("Select")"}, {"with", ""}, {"distinct", "false"}, {"distinct_on", "[]"},
                     {"projection", "[]"}, {"from", "[]"}, {"selection", "null"}, {"group_by", "null"},
                     {"having", "null"}, {"windows", "[]"}, {"qualify", "null"}, {"set_operations", "[]"},
                     {"order_by", "[]"}, {"limit", "null"}, {"offset", "null"}, {"limit_with_ties", "false"}},
                    overrides);
}

// The VALUES map without its span: 7 entries, 8 with "with" (second).
std::string values(Entries overrides) {
  return orderedMap({{"variant", R"("Values")"}, {"with", ""}, {"rows", "[]"}, {"set_operations", "[]"},
                     {"order_by", "[]"}, {"limit", "null"}, {"offset", "null"}, {"limit_with_ties", "false"}},
                    overrides);
}

std::string item(const std::string& expr) { return R"({"variant":"Expr","expr":)" + expr + R"(,"alias":null})"; }
std::string table(const std::string& name) {
  return R"({"variant":"Table","name":")" + name + R"(","alias":null,"columns":[]})";
}

void runStatementCases(const std::vector<DocCase>& cases) {
  for (const DocCase& c : cases) {
    EXPECT_EQ(statementJson(c.input), expectedText(c.expected)) << "input: " << c.input;
  }
}

TEST(DocQueryTest, SelectClauses) {
  runStatementCases({
      {"SELECT 1", select({{"projection", "[" + item("#1") + "]"}})},
      {"SELECT a, b AS x, c y, t.*, * FROM t",
       select({{"projection", "[" + item("$a") + R"(,{"variant":"Expr","expr":$b,"alias":"x"},)" +
                                  R"({"variant":"Expr","expr":$c,"alias":"y"},{"variant":"QualifiedWildcard","table":"t"},)" +
                                  R"({"variant":"Wildcard"}])"},
               {"from", "[" + table("t") + "]"}})},
      {"SELECT DISTINCT a FROM t WHERE a > 1",
       select({{"distinct", "true"},
               {"projection", "[" + item("$a") + "]"},
               {"from", "[" + table("t") + "]"},
               {"selection", R"({"kind":{"variant":"BinaryOp","left":$a,"op":"Gt","right":#1}})"}})},
      {"SELECT DISTINCT ON (a, b) c FROM t",
       select({{"distinct_on", "[$a,$b]"}, {"projection", "[" + item("$c") + "]"}, {"from", "[" + table("t") + "]"}})},
      {"SELECT a FROM t GROUP BY a HAVING count(*) > 1 QUALIFY r = 1",
       select({{"projection", "[" + item("$a") + "]"},
               {"from", "[" + table("t") + "]"},
               {"group_by", R"([{"variant":"Expr","expr":$a}])"},
               {"having", R"({"kind":{"variant":"BinaryOp","left":{"kind":{"variant":"FunctionCall","name":"count","args":[],)"
                          R"("distinct":false,"star":true,"over":null}},"op":"Gt","right":#1}})"},
               {"qualify", R"({"kind":{"variant":"BinaryOp","left":$r,"op":"Eq","right":#1}})"}})},
      {"SELECT a FROM t ORDER BY a DESC NULLS FIRST, b ASC, c NULLS LAST LIMIT 10 OFFSET 5",
       select({{"projection", "[" + item("$a") + "]"},
               {"from", "[" + table("t") + "]"},
               {"order_by", R"([{"expr":$a,"asc":false,"nulls_first":true},{"expr":$b,"asc":true,"nulls_first":null},)"
                            R"({"expr":$c,"asc":null,"nulls_first":false}])"},
               {"limit", "#10"},
               {"offset", "#5"}})},
      {"SELECT a FROM t OFFSET 5 LIMIT ALL", select({{"projection", "[" + item("$a") + "]"},
                                                     {"from", "[" + table("t") + "]"},
                                                     {"offset", "#5"}})},
      {"SELECT a FROM t FETCH FIRST 5 ROWS WITH TIES", select({{"projection", "[" + item("$a") + "]"},
                                                               {"from", "[" + table("t") + "]"},
                                                               {"limit", "#5"},
                                                               {"limit_with_ties", "true"}})},
      {"SELECT a FROM t OFFSET 1 ROWS FETCH NEXT ROW ONLY", select({{"projection", "[" + item("$a") + "]"},
                                                                   {"from", "[" + table("t") + "]"},
                                                                   {"limit", "#1"},
                                                                   {"offset", "#1"}})},
  });
}

TEST(DocQueryTest, GroupingElements) {
  runStatementCases({
      {"SELECT 1 FROM t GROUP BY ROLLUP (a, b), c",
       select({{"projection", "[" + item("#1") + "]"},
               {"from", "[" + table("t") + "]"},
               {"group_by", R"([{"variant":"Rollup","exprs":[$a,$b]},{"variant":"Expr","expr":$c}])"}})},
      {"SELECT 1 FROM t GROUP BY CUBE (a), GROUPING SETS ((a, b), a, ())",
       select({{"projection", "[" + item("#1") + "]"},
               {"from", "[" + table("t") + "]"},
               {"group_by", R"([{"variant":"Cube","exprs":[$a]},{"variant":"GroupingSets","sets":[[$a,$b],[$a],[]]}])"}})},
      {"SELECT 1 FROM t GROUP BY ()", select({{"projection", "[" + item("#1") + "]"},
                                              {"from", "[" + table("t") + "]"},
                                              {"group_by", R"([{"variant":"GroupingSets","sets":[[]]}])"}})},
      {"SELECT 1 FROM t GROUP BY rollup", select({{"projection", "[" + item("#1") + "]"},
                                                  {"from", "[" + table("t") + "]"},
                                                  {"group_by", R"([{"variant":"Expr","expr":$rollup}])"}})},
  });
}

TEST(DocQueryTest, NamedWindows) {
  runStatementCases({
      {"SELECT rank() OVER w FROM t WINDOW w AS (PARTITION BY a), v AS (w ORDER BY b ROWS UNBOUNDED PRECEDING)",
       select({{"projection", "[" + item(R"({"kind":{"variant":"FunctionCall","name":"rank","args":[],"distinct":false,)"
                                         R"("star":false,"over":{"base":"w","partition_by":[],"order_by":[],"frame":null}}})") +
                                  "]"},
               {"from", "[" + table("t") + "]"},
               {"windows", R"([{"name":"w","spec":{"base":null,"partition_by":[$a],"order_by":[],"frame":null}},)"
                           R"({"name":"v","spec":{"base":"w","partition_by":[],"order_by":[{"expr":$b,"asc":null,"nulls_first":null}],)"
                           R"("frame":{"units":"Rows","start_bound":{"variant":"UnboundedPreceding"},"end_bound":{"variant":"CurrentRow"}}}}])"}})},
  });
}

TEST(DocQueryTest, SetOperationsValuesAndWith) {
  const std::string select1 = select({{"projection", "[" + item("#1") + "]"}});
  runStatementCases({
      {"SELECT a FROM t UNION ALL SELECT b FROM u ORDER BY 1",
       select({{"projection", "[" + item("$a") + "]"},
               {"from", "[" + table("t") + "]"},
               {"set_operations", R"([{"operator":"Union","all":true,"right":)" +
                                      select({{"projection", "[" + item("$b") + "]"}, {"from", "[" + table("u") + "]"}}) + "}]"},
               {"order_by", R"([{"expr":#1,"asc":null,"nulls_first":null}])"}})},
      // INTERSECT binds tighter: it belongs to the body of SELECT 2.
      {"SELECT 1 UNION SELECT 2 INTERSECT SELECT 3 EXCEPT ALL SELECT 4 LIMIT 1",
       select({{"projection", "[" + item("#1") + "]"},
               {"set_operations",
                R"([{"operator":"Union","all":false,"right":)" +
                    select({{"projection", "[" + item("#2") + "]"},
                            {"set_operations", R"([{"operator":"Intersect","all":false,"right":)" +
                                                   select({{"projection", "[" + item("#3") + "]"}}) + "}]"}}) +
                    R"(},{"operator":"Except","all":true,"right":)" + select({{"projection", "[" + item("#4") + "]"}}) + "}]"},
               {"limit", "#1"}})},
      {"VALUES (1, 2), (3, 4)", values({{"rows", "[[#1,#2],[#3,#4]]"}})},
      {"VALUES (1) UNION SELECT 2 ORDER BY 1 LIMIT 3 OFFSET 4",
       values({{"rows", "[[#1]]"},
               {"set_operations", R"([{"operator":"Union","all":false,"right":)" +
                                      select({{"projection", "[" + item("#2") + "]"}}) + "}]"},
               {"order_by", R"([{"expr":#1,"asc":null,"nulls_first":null}])"},
               {"limit", "#3"},
               {"offset", "#4"}})},
      {"WITH t AS (SELECT 1) SELECT * FROM t",
       select({{"with", R"({"recursive":false,"ctes":[{"name":"t","columns":[],"query":)" + select1 + "}]}"},
               {"projection", R"([{"variant":"Wildcard"}])"},
               {"from", "[" + table("t") + "]"}})},
      {"WITH RECURSIVE r(n, m) AS (VALUES (1, 2)), s AS (WITH u AS (SELECT 1) SELECT 1) VALUES (3)",
       values({{"with", R"({"recursive":true,"ctes":[{"name":"r","columns":["n","m"],"query":)" +
                            values({{"rows", "[[#1,#2]]"}}) + R"(},{"name":"s","columns":[],"query":)" +
                            select({{"with", R"({"recursive":false,"ctes":[{"name":"u","columns":[],"query":)" + select1 + "}]}"},
                                    {"projection", "[" + item("#1") + "]"}}) +
                            "}]}"},
               {"rows", "[[#3]]"}})},
  });
}

TEST(DocQueryTest, FromItemsAndJoins) {
  const std::string select1 = select({{"projection", "[" + item("#1") + "]"}});
  auto from = [](const std::string& items) {
    return select({{"projection", R"([{"variant":"Wildcard"}])"}, {"from", "[" + items + "]"}});
  };
  auto join = [](const std::string& left, const std::string& right, const std::string& type, const std::string& cond,
                 const std::string& usingCols) {
    return R"({"variant":"Join","left":)" + left + R"(,"right":)" + right + R"(,"join_type":")" + type +
           R"(","condition":)" + cond + R"(,"using":)" + usingCols + "}";
  };
  runStatementCases({
      {"SELECT * FROM s.t", from(table("s.t"))},
      {"SELECT * FROM t AS x(a, b)", from(R"({"variant":"Table","name":"t","alias":"x","columns":["a","b"]})")},
      {"SELECT * FROM t x", from(R"({"variant":"Table","name":"t","alias":"x","columns":[]})")},
      {"SELECT * FROM a JOIN b USING (id, k)", from(join(table("a"), table("b"), "Inner", "null", R"(["id","k"])"))},
      {"SELECT * FROM a JOIN b ON a.id = b.id",
       from(join(table("a"), table("b"), "Inner",
                 R"({"kind":{"variant":"BinaryOp","left":{"kind":{"variant":"ColumnRef","table":"a","column":"id"}},"op":"Eq",)"
                 R"("right":{"kind":{"variant":"ColumnRef","table":"b","column":"id"}}}})",
                 "null"))},
      {"SELECT * FROM a LEFT OUTER JOIN b ON x RIGHT JOIN c ON y FULL JOIN d ON z CROSS JOIN e NATURAL JOIN f",
       from(join(join(join(join(join(table("a"), table("b"), "Left", "$x", "null"), table("c"), "Right", "$y", "null"),
                           table("d"), "Full", "$z", "null"),
                      table("e"), "Cross", "null", "null"),
                 table("f"), "Inner", "null", "null"))},
      {"SELECT * FROM a JOIN b ON x, c", from(join(join(table("a"), table("b"), "Inner", "$x", "null"), table("c"), "Cross", "null", "null"))},
      {"SELECT * FROM (SELECT 1)", from(R"({"variant":"Derived","subquery":)" + select1 + R"(,"alias":null,"columns":[],"lateral":false})")},
      {"SELECT * FROM (VALUES (1)) AS v(x)",
       from(R"({"variant":"Derived","subquery":)" + values({{"rows", "[[#1]]"}}) + R"(,"alias":"v","columns":["x"],"lateral":false})")},
      {"SELECT * FROM t, LATERAL (SELECT 1) d",
       from(join(table("t"), R"({"variant":"Derived","subquery":)" + select1 + R"(,"alias":"d","columns":[],"lateral":true})", "Cross",
                 "null", "null"))},
      {"SELECT * FROM generate_series(1, 3)",
       from(R"({"variant":"Function","name":"generate_series","args":[#1,#3],"alias":null,"columns":[],"lateral":false,"with_ordinality":false})")},
      {"SELECT * FROM t, LATERAL unnest(t.a) WITH ORDINALITY AS u(v, n)",
       from(join(table("t"),
                 R"({"variant":"Function","name":"unnest","args":[{"kind":{"variant":"ColumnRef","table":"t","column":"a"}}],)"
                 R"("alias":"u","columns":["v","n"],"lateral":true,"with_ordinality":true})",
                 "Cross", "null", "null"))},
      {"SELECT * FROM lateral", from(table("lateral"))},
  });
}

// The restricted SELECT map of continuous aggregate queries: 12 entries, FROM
// items without "columns" (and derived tables without "lateral"); WITH,
// DISTINCT ON, WINDOW, QUALIFY and WITH TIES are left out whatever the node
// holds.
TEST(DocQueryTest, RestrictedSelect) {
  auto restricted = [](Entries overrides) {
    return orderedMap({{"variant", R"("Select")"}, {"distinct", "false"}, {"projection", "[]"}, {"from", "[]"},
                       {"selection", "null"}, {"group_by", "null"}, {"having", "null"}, {"set_operations", "[]"},
                       {"order_by", "[]"}, {"limit", "null"}, {"offset", "null"}},
                      overrides);
  };
  const std::string rtable = R"({"variant":"Table","name":"cpu","alias":"c"})";
  struct Case {
    const char* sql;
    std::string expected;
  };
  const Case cases[] = {
      {"SELECT bucket, avg(v) FROM cpu c WHERE v > 0 GROUP BY bucket, host HAVING avg(v) > 1 ORDER BY bucket LIMIT 5 OFFSET 2",
       restricted({{"projection", "[" + item("$bucket") + "," +
                                     item(R"({"kind":{"variant":"FunctionCall","name":"avg","args":[$v],"distinct":false,"star":false,"over":null}})") +
                                     "]"},
                   {"from", "[" + rtable + "]"},
                   {"selection", R"({"kind":{"variant":"BinaryOp","left":$v,"op":"Gt","right":#0}})"},
                   {"group_by", "[$bucket,$host]"},
                   {"having", R"({"kind":{"variant":"BinaryOp","left":{"kind":{"variant":"FunctionCall","name":"avg","args":[$v],)"
                              R"("distinct":false,"star":false,"over":null}},"op":"Gt","right":#1}})"},
                   {"order_by", R"([{"expr":$bucket,"asc":null,"nulls_first":null}])"},
                   {"limit", "#5"},
                   {"offset", "#2"}})},
      {"WITH w AS (SELECT 1) SELECT DISTINCT ON (a) a FROM cpu c WINDOW x AS () QUALIFY q FETCH FIRST 1 ROW WITH TIES",
       restricted({{"projection", "[" + item("$a") + "]"}, {"from", "[" + rtable + "]"}, {"limit", "#1"}})},
      {"SELECT DISTINCT 1 FROM cpu AS c(x) JOIN (SELECT 2) d ON true, f(1)",
       restricted({{"distinct", "true"},
                   {"projection", "[" + item("#1") + "]"},
                   {"from", R"([{"variant":"Join","left":{"variant":"Join","left":{"variant":"Table","name":"cpu","alias":"c"},)"
                            R"("right":{"variant":"Derived","subquery":)" +
                                select({{"projection", "[" + item("#2") + "]"}}) +
                                R"(,"alias":"d","columns":[]},"join_type":"Inner",)"
                                R"("condition":{"kind":{"variant":"Literal","literal":{"variant":"Boolean","value":true}}},"using":null},)"
                                R"("right":{"variant":"Function","name":"f","args":[#1],"alias":null,"columns":[],"lateral":false,)"
                                R"("with_ordinality":false},"join_type":"Cross","condition":null,"using":null}])"}})},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(statementJson(c.sql, false, true), expandExpected(c.expected)) << c.sql;
  }
  // The span is the map's last entry, the SELECT node's own.
  EXPECT_EQ(statementJson("SELECT a FROM cpu", true, true),
            compactJson(R"({"variant":"Select","distinct":false,"projection":[{"variant":"Expr","expr":
              {"kind":{"variant":"ColumnRef","table":null,"column":"a"},"span":{"start":{"line":1,"column":8},"end":{"line":1,"column":8}}},
              "alias":null,"span":{"start":{"line":1,"column":8},"end":{"line":1,"column":8}}}],
              "from":[{"variant":"Table","name":"cpu","alias":null,"span":{"start":{"line":1,"column":15},"end":{"line":1,"column":17}}}],
              "selection":null,"group_by":null,"having":null,"set_operations":[],"order_by":[],"limit":null,"offset":null,
              "span":{"start":{"line":1,"column":1},"end":{"line":1,"column":6}}})"));
}

TEST(DocQueryTest, QueryBodyErrors) {
  // A body of any other kind fails the whole document.
  vellum::Arena arena;
  vellum::sql::SqlSpan span{1, 1, 1, 6};
  vellum::sql::SqlNode* setOp = vellum::sql::newNode(arena, vellum::sql::nkSetOperation, span);
  setOp->setRight() = vellum::sql::newNode(arena, vellum::sql::nkInsert, span);
  vellum::sql::SqlNode* select = vellum::sql::newNode(arena, vellum::sql::nkSelect, span);
  select->children().push_back(arena, setOp);
  vellum::BufferStream out(0);
  vellum::sql::SqlWriter writer(out);
  try {
    writer.writeQuery(select);
    ADD_FAILURE() << "no error";
  } catch (const vellum::ParseError& e) {
    EXPECT_EQ(e.message(), "unsupported query body node for MessagePack: nkInsert");
  }
}

// The writer reads the parser's usual lists of SELECT children in place;
// lists built otherwise (clauses out of order, repeated, nil, a second
// projection) give the map that classifying them by kind gives.
TEST(DocQueryTest, HandBuiltSelectChildren) {
  vellum::Arena arena;
  vellum::sql::NodeList parsed = vellum::sql::parseStatements("SELECT a FROM t WHERE b; SELECT c FROM u WHERE d", arena);
  const vellum::sql::NodeList& first = parsed[0]->children();
  const vellum::sql::NodeList& second = parsed[1]->children();
  vellum::sql::SqlNode* a = first[0];
  vellum::sql::SqlNode* t = first[1];
  vellum::sql::SqlNode* b = first[2];
  vellum::sql::SqlNode* c = second[0];
  vellum::sql::SqlNode* u = second[1];
  vellum::sql::SqlNode* d = second[2];
  auto write = [&arena](std::initializer_list<vellum::sql::SqlNode*> children) {
    vellum::sql::SqlNode* select = vellum::sql::newNode(arena, vellum::sql::nkSelect, vellum::sql::SqlSpan{1, 1, 1, 6});
    for (vellum::sql::SqlNode* child : children) select->children().push_back(arena, child);
    vellum::BufferStream out(0);
    vellum::sql::SqlWriter writer(out);
    writer.writeQuery(select);
    return msgpackToJson(out.data(), out.size(), spanOptions(false));
  };
  const std::string all = expandExpected(
      select({{"projection", "[" + item("$a") + "]"}, {"from", "[" + table("t") + "]"}, {"selection", "$b"}}));
  const std::string noWhere =
      expandExpected(select({{"projection", "[" + item("$a") + "]"}, {"from", "[" + table("t") + "]"}}));
  const std::string noFrom = expandExpected(select({{"projection", "[" + item("$a") + "]"}, {"selection", "$b"}}));
  EXPECT_EQ(write({a, t, b}), all);
  EXPECT_EQ(write({a, b, t}), all);
  EXPECT_EQ(write({t, a, b}), all);
  EXPECT_EQ(write({b, t, a}), all);
  EXPECT_EQ(write({a, nullptr, t, b}), all);
  EXPECT_EQ(write({a, t, nullptr, b}), all);
  EXPECT_EQ(write({a, t, b, nullptr}), all);
  EXPECT_EQ(write({nullptr, a, t, b}), all);
  EXPECT_EQ(write({a, t}), noWhere);
  EXPECT_EQ(write({t, a}), noWhere);
  EXPECT_EQ(write({a, t, nullptr}), noWhere);
  EXPECT_EQ(write({a, b}), noFrom);
  EXPECT_EQ(write({b, a}), noFrom);
  EXPECT_EQ(write({a}), expandExpected(select({{"projection", "[" + item("$a") + "]"}})));
  EXPECT_EQ(write({}), expandExpected(select({})));
  EXPECT_EQ(write({nullptr}), expandExpected(select({})));
  EXPECT_EQ(write({t}), expandExpected(select({{"from", "[" + table("t") + "]"}})));
  EXPECT_EQ(write({b}), expandExpected(select({{"selection", "$b"}})));
  // A repeated clause: the last counts; a second projection: the first.
  EXPECT_EQ(write({a, t, u, b}),
            expandExpected(select({{"projection", "[" + item("$a") + "]"}, {"from", "[" + table("u") + "]"},
                                   {"selection", "$b"}})));
  EXPECT_EQ(write({a, t, b, d}),
            expandExpected(select({{"projection", "[" + item("$a") + "]"}, {"from", "[" + table("t") + "]"},
                                   {"selection", "$d"}})));
  EXPECT_EQ(write({a, c}), expandExpected(select({{"projection", "[" + item("$a") + "]"}})));
  EXPECT_EQ(write({a, c, t, b}), all);
  EXPECT_EQ(write({a, t, b, c}), all);
}

// Whole documents with every span, as the parser positions them.
TEST(DocQueryTest, FullSpans) {
  auto span = [](int l1, int c1, int l2, int c2) {
    return R"({"start":{"line":)" + std::to_string(l1) + R"(,"column":)" + std::to_string(c1) + R"(},"end":{"line":)" +
           std::to_string(l2) + R"(,"column":)" + std::to_string(c2) + "}}";
  };
  EXPECT_EQ(sqlDocJson("SELECT a", true),
            compactJson(R"([{"kind":{"variant":"Select","distinct":false,"distinct_on":[],"projection":[
              {"variant":"Expr","expr":{"kind":{"variant":"ColumnRef","table":null,"column":"a"},"span":)" + span(1, 8, 1, 8) + R"(},
               "alias":null,"span":)" + span(1, 8, 1, 8) + R"(}],
              "from":[],"selection":null,"group_by":null,"having":null,"windows":[],"qualify":null,"set_operations":[],
              "order_by":[],"limit":null,"offset":null,"limit_with_ties":false},"span":)" + span(1, 1, 1, 6) + "}]"));
  // VALUES ends with its own span; the statement envelope repeats it.
  EXPECT_EQ(sqlDocJson("VALUES (1)", true),
            compactJson(R"([{"kind":{"variant":"Values","rows":[[{"kind":{"variant":"Literal","literal":{"variant":"Number","value":"1"}},
              "span":)" + span(1, 9, 1, 9) + R"(}]],"set_operations":[],"order_by":[],"limit":null,"offset":null,"limit_with_ties":false,
              "span":)" + span(1, 1, 1, 6) + R"(},"span":)" + span(1, 1, 1, 6) + "}]"));
  // A join has no position of its own: it takes the FROM clause's (the first
  // token after FROM). WITH, CTE, set operation and named window maps carry
  // their nodes' spans.
  EXPECT_EQ(sqlDocJson("WITH t AS (SELECT 1)\nSELECT *\n  FROM a JOIN b ON c\nUNION SELECT 2 WINDOW w AS ()", true),
            compactJson(R"([{"kind":{"variant":"Select",
              "with":{"recursive":false,"ctes":[{"name":"t","columns":[],"query":{"variant":"Select","distinct":false,"distinct_on":[],
                "projection":[{"variant":"Expr","expr":{"kind":{"variant":"Literal","literal":{"variant":"Number","value":"1"}},
                  "span":)" + span(1, 19, 1, 19) + R"(},"alias":null,"span":)" + span(1, 19, 1, 19) + R"(}],
                "from":[],"selection":null,"group_by":null,"having":null,"windows":[],"qualify":null,"set_operations":[],
                "order_by":[],"limit":null,"offset":null,"limit_with_ties":false},"span":)" + span(1, 6, 1, 6) + R"(}],
                "span":)" + span(1, 1, 1, 4) + R"(},
              "distinct":false,"distinct_on":[],"projection":[{"variant":"Wildcard","span":)" + span(2, 8, 2, 8) + R"(}],
              "from":[{"variant":"Join",
                "left":{"variant":"Table","name":"a","alias":null,"columns":[],"span":)" + span(3, 8, 3, 8) + R"(},
                "right":{"variant":"Table","name":"b","alias":null,"columns":[],"span":)" + span(3, 15, 3, 15) + R"(},
                "join_type":"Inner","condition":{"kind":{"variant":"ColumnRef","table":null,"column":"c"},"span":)" + span(3, 20, 3, 20) + R"(},
                "using":null,"span":)" + span(3, 8, 3, 8) + R"(}],
              "selection":null,"group_by":null,"having":null,"windows":[],"qualify":null,
              "set_operations":[{"operator":"Union","all":false,"right":{"variant":"Select","distinct":false,"distinct_on":[],
                "projection":[{"variant":"Expr","expr":{"kind":{"variant":"Literal","literal":{"variant":"Number","value":"2"}},
                  "span":)" + span(4, 14, 4, 14) + R"(},"alias":null,"span":)" + span(4, 14, 4, 14) + R"(}],
                "from":[],"selection":null,"group_by":null,"having":null,
                "windows":[{"name":"w","spec":{"base":null,"partition_by":[],"order_by":[],"frame":null},"span":)" + span(4, 23, 4, 29) + R"(}],
                "qualify":null,"set_operations":[],"order_by":[],"limit":null,"offset":null,"limit_with_ties":false},
                "span":)" + span(4, 1, 4, 5) + R"(}],
              "order_by":[],"limit":null,"offset":null,"limit_with_ties":false},"span":)" + span(1, 1, 2, 6) + "}]"));
}

}  // namespace
}  // namespace vellum_test
