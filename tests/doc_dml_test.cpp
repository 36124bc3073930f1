// The DML maps: INSERT (with ON CONFLICT), UPDATE, DELETE, MERGE and COPY as
// whole documents decoded with msgpack-c; the writer on trees made by hand;
// and 1 MiB DML statements written on a 1 MiB stack.
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include <gtest/gtest.h>
#include <msgpack.hpp>

#include "doc_support.h"
#include "support/text.h"
#include "support/threads.h"

namespace vellum_test {
namespace {

using namespace vellum::sql;

// Pieces of expected JSON (spans left out).
std::string str(const std::string& s) {
  return R"({"kind":{"variant":"Literal","literal":{"variant":"String","value":")" + s + R"("}}})";
}
std::string col(const std::string& table, const std::string& column) {
  return R"({"kind":{"variant":"ColumnRef","table":")" + table + R"(","column":")" + column + R"("}})";
}
std::string bin(const std::string& left, const std::string& op, const std::string& right) {
  return R"({"kind":{"variant":"BinaryOp","left":)" + left + R"(,"op":")" + op + R"(","right":)" + right + "}}";
}
std::string item(const std::string& expr, const std::string& alias = "") {
  return R"({"variant":"Expr","expr":)" + expr + R"(,"alias":)" + (alias.empty() ? "null" : "\"" + alias + "\"") + "}";
}
std::string table(const std::string& name, const std::string& alias = "") {
  return R"({"variant":"Table","name":")" + name + R"(","alias":)" + (alias.empty() ? "null" : "\"" + alias + "\"") +
         R"(,"columns":[]})";
}
std::string assign(const std::string& column, const std::string& value) {
  return R"({"column":")" + column + R"(","value":)" + value + "}";
}
std::string select(const std::string& projection, const std::string& from = "", const std::string& selection = "null") {
  return R"({"variant":"Select","distinct":false,"distinct_on":[],"projection":[)" + projection + R"(],"from":[)" + from +
         R"(],"selection":)" + selection +
         R"(,"group_by":null,"having":null,"windows":[],"qualify":null,"set_operations":[],"order_by":[],)"
         R"("limit":null,"offset":null,"limit_with_ties":false})";
}
std::string doc(const std::string& kind) { return R"([{"kind":)" + kind + "}]"; }

std::string span(int l1, int c1, int l2, int c2) {
  return R"({"start":{"line":)" + std::to_string(l1) + R"(,"column":)" + std::to_string(c1) + R"(},"end":{"line":)" +
         std::to_string(l2) + R"(,"column":)" + std::to_string(c2) + "}}";
}

TEST(DocDmlTest, Insert) {
  runDocCases({
      {"INSERT INTO t VALUES (1), (2)",
       doc(R"({"variant":"Insert","table":"t","columns":null,"source":{"variant":"Values","values":[[#1],[#2]]},)"
           R"("on_conflict":null,"returning":[]})")},
      {"INSERT INTO t (a, b) SELECT x, y FROM u",
       doc(R"({"variant":"Insert","table":"t","columns":["a","b"],"source":{"variant":"Select","select":)" +
           select(item("$x") + "," + item("$y"), table("u")) + R"(},"on_conflict":null,"returning":[]})")},
      // An upsert with a conflict target, a SET list with a condition, and RETURNING.
      {"INSERT INTO accounts (id, email, visits) VALUES (1, 'a@x.io', 1), (2, 'b@x.io', 1)\n"
       "  ON CONFLICT (id, email) DO UPDATE SET visits = accounts.visits + 1, seen = now() WHERE accounts.active\n"
       "  RETURNING id, visits AS n",
       doc(R"({"variant":"Insert","table":"accounts","columns":["id","email","visits"],"source":{"variant":"Values",)"
           R"("values":[[#1,)" + str("a@x.io") + R"(,#1],[#2,)" + str("b@x.io") + R"(,#1]]},)"
           R"("on_conflict":{"columns":["id","email"],"constraint":null,"action":{"variant":"DoUpdate","assignments":[)" +
           assign("visits", bin(col("accounts", "visits"), "Add", "#1")) + "," +
           assign("seen", R"({"kind":{"variant":"FunctionCall","name":"now","args":[],"distinct":false,"star":false,"over":null}})") +
           R"(],"selection":)" + col("accounts", "active") + R"(}},"returning":[)" + item("$id") + "," + item("$visits", "n") +
           "]}")},
      {"INSERT INTO t VALUES (1) ON CONFLICT (id) DO NOTHING",
       doc(R"({"variant":"Insert","table":"t","columns":null,"source":{"variant":"Values","values":[[#1]]},)"
           R"("on_conflict":{"columns":["id"],"constraint":null,"action":{"variant":"DoNothing"}},"returning":[]})")},
      {"INSERT INTO t VALUES (1) ON CONFLICT ON CONSTRAINT pk DO UPDATE SET a = 1 WHERE b > 0",
       doc(R"({"variant":"Insert","table":"t","columns":null,"source":{"variant":"Values","values":[[#1]]},)"
           R"("on_conflict":{"columns":[],"constraint":"pk","action":{"variant":"DoUpdate","assignments":[)" +
           assign("a", "#1") + R"(],"selection":)" + bin("$b", "Gt", "#0") + R"(}},"returning":[]})")},
      {"INSERT INTO t VALUES (1) ON CONFLICT DO UPDATE SET a = 2 RETURNING *",
       doc(R"({"variant":"Insert","table":"t","columns":null,"source":{"variant":"Values","values":[[#1]]},)"
           R"("on_conflict":{"columns":[],"constraint":null,"action":{"variant":"DoUpdate","assignments":[)" +
           assign("a", "#2") + R"(],"selection":null}},"returning":[{"variant":"Wildcard"}]})")},
  });
  // Rows, the column list and the SET list take their parent's span; the
  // conflict map has the ON token's.
  EXPECT_EQ(sqlDocJson("INSERT INTO t (a)\nVALUES (?) ON CONFLICT (a) DO UPDATE SET a = 2", true),
            compactJson(R"([{"kind":{"variant":"Insert","table":"t","columns":["a"],"source":{"variant":"Values","values":[[
                {"kind":{"variant":"Parameter","index":1},"span":)" + span(2, 9, 2, 9) + R"(}]]},
              "on_conflict":{"columns":["a"],"constraint":null,"action":{"variant":"DoUpdate","assignments":[{"column":"a",
                "value":{"kind":{"variant":"Literal","literal":{"variant":"Number","value":"2"}},"span":)" + span(2, 46, 2, 46) + R"(},
                "span":)" + span(2, 12, 2, 13) + R"(}],"selection":null},"span":)" + span(2, 12, 2, 13) + R"(},
              "returning":[],"span":)" + span(1, 1, 1, 6) + R"(},"span":)" + span(1, 1, 1, 6) + "}]"));
}

TEST(DocDmlTest, UpdateAndDelete) {
  runDocCases({
      {"UPDATE orders SET status = 'shipped', shipped_at = now()\n"
       "  FROM shipments s JOIN carriers c ON s.carrier_id = c.id\n"
       "  WHERE orders.id = s.order_id RETURNING orders.id, c.name AS carrier",
       doc(R"({"variant":"Update","table":"orders","assignments":[)" + assign("status", str("shipped")) + "," +
           assign("shipped_at", R"({"kind":{"variant":"FunctionCall","name":"now","args":[],"distinct":false,"star":false,"over":null}})") +
           R"(],"from":[{"variant":"Join","left":)" + table("shipments", "s") + R"(,"right":)" + table("carriers", "c") +
           R"(,"join_type":"Inner","condition":)" + bin(col("s", "carrier_id"), "Eq", col("c", "id")) +
           R"(,"using":null}],"selection":)" + bin(col("orders", "id"), "Eq", col("s", "order_id")) + R"(,"returning":[)" +
           item(col("orders", "id")) + "," + item(col("c", "name"), "carrier") + "]}")},
      {"UPDATE t SET a = 1",
       doc(R"({"variant":"Update","table":"t","assignments":[)" + assign("a", "#1") +
           R"(],"from":[],"selection":null,"returning":[]})")},
      {"DELETE FROM t", doc(R"({"variant":"Delete","table":"t","using":[],"selection":null,"returning":[]})")},
      {"DELETE FROM sessions USING users, bans WHERE sessions.user_id = users.id AND users.banned RETURNING sessions.id",
       doc(R"({"variant":"Delete","table":"sessions","using":[{"variant":"Join","left":)" + table("users") + R"(,"right":)" +
           table("bans") + R"(,"join_type":"Cross","condition":null,"using":null}],"selection":)" +
           bin(bin(col("sessions", "user_id"), "Eq", col("users", "id")), "And", col("users", "banned")) +
           R"(,"returning":[)" + item(col("sessions", "id")) + "]}")},
      // Parameters count per statement.
      {"DELETE FROM t WHERE a = ?; UPDATE t SET a = ? WHERE b = ?",
       R"([{"kind":{"variant":"Delete","table":"t","using":[],"selection":)" +
           bin("$a", "Eq", R"({"kind":{"variant":"Parameter","index":1}})") + R"(,"returning":[]}},)" +
           R"({"kind":{"variant":"Update","table":"t","assignments":[)" +
           assign("a", R"({"kind":{"variant":"Parameter","index":1}})") + R"(],"from":[],"selection":)" +
           bin("$b", "Eq", R"({"kind":{"variant":"Parameter","index":2}})") + R"(,"returning":[]}}])"},
  });
  // Assignment maps carry the SET list's span, which is the statement's.
  EXPECT_EQ(sqlDocJson("UPDATE t\nSET a = b", true),
            compactJson(R"([{"kind":{"variant":"Update","table":"t","assignments":[{"column":"a","value":
                {"kind":{"variant":"ColumnRef","table":null,"column":"b"},"span":)" + span(2, 9, 2, 9) + R"(},"span":)" +
                        span(1, 1, 1, 6) + R"(}],"from":[],"selection":null,"returning":[],"span":)" + span(1, 1, 1, 6) +
                        R"(},"span":)" + span(1, 1, 1, 6) + "}]"));
}

TEST(DocDmlTest, Merge) {
  runDocCases({
      {"MERGE INTO inventory AS i USING (SELECT sku, qty FROM incoming) AS n ON i.sku = n.sku\n"
       "WHEN MATCHED AND n.qty > 0 THEN UPDATE SET qty = i.qty + n.qty\n"
       "WHEN MATCHED THEN DELETE\n"
       "WHEN NOT MATCHED THEN INSERT (sku, qty) VALUES (n.sku, n.qty)",
       doc(R"({"variant":"Merge","target":)" + table("inventory", "i") + R"(,"source":{"variant":"Derived","subquery":)" +
           select(item("$sku") + "," + item("$qty"), table("incoming")) +
           R"(,"alias":"n","columns":[],"lateral":false},"on":)" + bin(col("i", "sku"), "Eq", col("n", "sku")) +
           R"(,"clauses":[{"matched":true,"condition":)" + bin(col("n", "qty"), "Gt", "#0") +
           R"(,"action":{"variant":"Update","assignments":[)" + assign("qty", bin(col("i", "qty"), "Add", col("n", "qty"))) +
           R"(]}},{"matched":true,"condition":null,"action":{"variant":"Delete"}},)"
           R"({"matched":false,"condition":null,"action":{"variant":"Insert","columns":["sku","qty"],"values":[)" +
           col("n", "sku") + "," + col("n", "qty") + R"(]}}],"returning":[]})")},
      {"MERGE INTO t USING s ON x WHEN NOT MATCHED THEN INSERT VALUES (1) WHEN MATCHED THEN DO NOTHING RETURNING a",
       doc(R"({"variant":"Merge","target":)" + table("t") + R"(,"source":)" + table("s") +
           R"(,"on":$x,"clauses":[{"matched":false,"condition":null,"action":{"variant":"Insert","columns":[],"values":[#1]}},)"
           R"({"matched":true,"condition":null,"action":{"variant":"DoNothing"}}],"returning":[)" + item("$a") + "]}")},
  });
  // The AND condition keeps the spans it was built with: its operation has
  // the empty span.
  EXPECT_EQ(sqlDocJson("MERGE INTO t USING s ON x WHEN MATCHED AND a > 0 THEN DELETE", true),
            compactJson(R"([{"kind":{"variant":"Merge",
              "target":{"variant":"Table","name":"t","alias":null,"columns":[],"span":)" + span(1, 12, 1, 12) + R"(},
              "source":{"variant":"Table","name":"s","alias":null,"columns":[],"span":)" + span(1, 20, 1, 20) + R"(},
              "on":{"kind":{"variant":"ColumnRef","table":null,"column":"x"},"span":)" + span(1, 25, 1, 25) + R"(},
              "clauses":[{"matched":true,"condition":{"kind":{"variant":"BinaryOp",
                  "left":{"kind":{"variant":"ColumnRef","table":null,"column":"a"},"span":)" + span(1, 44, 1, 44) + R"(},"op":"Gt",
                  "right":{"kind":{"variant":"Literal","literal":{"variant":"Number","value":"0"}},"span":)" + span(1, 48, 1, 48) + R"(}},
                "span":)" + span(0, 0, 0, 0) + R"(},"action":{"variant":"Delete"},"span":)" + span(1, 27, 1, 30) + R"(}],
              "returning":[],"span":)" + span(1, 1, 1, 5) + R"(},"span":)" + span(1, 1, 1, 5) + "}]"));
}

TEST(DocDmlTest, Copy) {
  const std::string options = R"([{"name":"FORMAT","value":"CSV"},{"name":"HEADER","value":"TRUE"},{"name":"DELIMITER","value":";"}])";
  runDocCases({
      {"COPY measurements (ts, value) FROM '/data/m.csv' WITH (FORMAT csv, HEADER, DELIMITER ';')",
       doc(R"({"variant":"Copy","source":{"variant":"Table","name":"measurements","columns":["ts","value"]},)"
           R"("direction":"From","target":{"variant":"File","path":"/data/m.csv"},"options":)" + options + "}")},
      {"COPY (SELECT * FROM measurements) TO '/tmp/out.csv'",
       doc(R"({"variant":"Copy","source":{"variant":"Query","query":)" + select(R"({"variant":"Wildcard"})", table("measurements")) +
           R"(},"direction":"To","target":{"variant":"File","path":"/tmp/out.csv"},"options":[]})")},
      {"COPY t (a) FROM STDIN WITH (FORMAT csv, HEADER)",
       doc(R"({"variant":"Copy","source":{"variant":"Table","name":"t","columns":["a"]},"direction":"From",)"
           R"("target":{"variant":"Stdin"},"options":[{"name":"FORMAT","value":"CSV"},{"name":"HEADER","value":"TRUE"}]})")},
      {"copy (values (1)) to stdout (encoding 'utf8', quote '=')",
       doc(R"({"variant":"Copy","source":{"variant":"Query","query":{"variant":"Values","rows":[[#1]],"set_operations":[],)"
           R"("order_by":[],"limit":null,"offset":null,"limit_with_ties":false}},"direction":"To","target":{"variant":"Stdout"},)"
           R"("options":[{"name":"ENCODING","value":"UTF8"},{"name":"QUOTE","value":"="}]})")},
  });
  EXPECT_EQ(sqlDocJson("COPY t TO STDOUT", true),
            compactJson(R"([{"kind":{"variant":"Copy","source":{"variant":"Table","name":"t","columns":[]},"direction":"To",
              "target":{"variant":"Stdout"},"options":[],"span":)" + span(1, 1, 1, 4) + R"(},"span":)" + span(1, 1, 1, 4) + "}]"));
}

TEST(DocDmlTest, ExplainedDml) {
  EXPECT_EQ(sqlDocJson("EXPLAIN ANALYZE\n  DELETE FROM t WHERE a = ?", true),
            compactJson(R"([{"kind":{"variant":"Explain","analyze":true,"format":"Text","statement":{"kind":{"variant":"Delete",
              "table":"t","using":[],"selection":{"kind":{"variant":"BinaryOp",
                "left":{"kind":{"variant":"ColumnRef","table":null,"column":"a"},"span":)" + span(2, 23, 2, 23) + R"(},"op":"Eq",
                "right":{"kind":{"variant":"Parameter","index":1},"span":)" + span(2, 27, 2, 27) + R"(}},"span":)" + span(2, 3, 2, 8) + R"(},
              "returning":[],"span":)" + span(2, 3, 2, 8) + R"(},"span":)" + span(2, 3, 2, 8) + R"(}},"span":)" + span(1, 1, 2, 8) + "}]"));
  runDocCases({
      {"EXPLAIN (FORMAT JSON) COPY t FROM STDIN",
       doc(R"({"variant":"Explain","analyze":false,"format":"Json","statement":{"kind":{"variant":"Copy","source":)"
           R"({"variant":"Table","name":"t","columns":[]},"direction":"From","target":{"variant":"Stdin"},"options":[]}}})")},
  });
}

// ---------------------------------------------------------------------------
// Trees made by hand.

const SqlSpan kSpan{1, 1, 1, 5};

std::string written(const SqlNode* node) {
  try {
    vellum::BufferStream out(0);
    SqlWriter writer(out);
    writer.writeStatementKind(node);
    return msgpackToJson(out.data(), out.size(), spanOptions(false));
  } catch (const vellum::InternalDefect& e) {
    return "defect: " + e.message();
  } catch (const vellum::VellumError& e) {
    return "error: " + e.message();
  }
}

struct Tree {
  vellum::Arena arena;
  SqlNode* node(SqlNodeKind kind, std::initializer_list<SqlNode*> children = {}) {
    SqlNode* n = newNode(arena, kind, kSpan);
    for (SqlNode* c : children) n->children().push_back(arena, c);
    return n;
  }
  SqlNode* id(std::string_view text) { return newIdentifier(arena, text, kSpan); }
  SqlNode* one() { return newIntLit(arena, 1, kSpan); }
  SqlNode* setList() { return node(nkExprList, {newBinary(arena, opEq, id("a"), one(), kSpan)}); }
};

TEST(DocDmlTest, HandMadeTrees) {
  Tree t;
  // An nkValues source is a "Query"; the last clause of a kind wins.
  SqlNode* values = t.node(nkValues, {t.node(nkExprList, {t.one()})});
  SqlNode* insert = t.node(nkInsert, {t.id("t"), values, t.node(nkReturningClause, {t.id("x")}),
                                      t.node(nkReturningClause, {t.id("y")})});
  EXPECT_EQ(written(insert),
            expandExpected(R"({"variant":"Insert","table":"t","columns":null,"source":{"variant":"Query","query":{"variant":"Values",
              "rows":[[#1]],"set_operations":[],"order_by":[],"limit":null,"offset":null,"limit_with_ties":false}},
              "on_conflict":null,"returning":[{"variant":"Expr","expr":$y,"alias":null}]})"));
  SqlNode* del = t.node(nkDelete, {t.id("t"), t.node(nkWhereClause, {t.id("p")}), t.node(nkWhereClause, {t.id("q")})});
  EXPECT_EQ(written(del), expandExpected(R"({"variant":"Delete","table":"t","using":[],"selection":$q,"returning":[]})"));

  // Texts other than the ones the parser stores take the fallback variants.
  SqlNode* when = t.node(nkMergeWhen);
  when->mutableExtra(t.arena).subKind = "matched";
  when->mutableExtra(t.arena).detailText = "SKIP";
  SqlNode* merge = t.node(nkMerge, {t.id("t"), t.id("s"), t.id("x"), when});
  EXPECT_EQ(written(merge), expandExpected(R"({"variant":"Merge","target":{"variant":"Table","name":"t","alias":null,"columns":[]},
              "source":{"variant":"Table","name":"s","alias":null,"columns":[]},"on":$x,
              "clauses":[{"matched":false,"condition":null,"action":{"variant":"DoNothing"}}],"returning":[]})"));
  SqlNode* copy = t.node(nkCopy, {t.id("t")});
  SqlNodeExtra& extra = copy->mutableExtra(t.arena);
  extra.copyDirection = "from";
  extra.copyTarget = "stdin";
  extra.copyOptions.push_back(t.arena, "FLAG");
  extra.copyOptions.push_back(t.arena, "A=B=C");
  extra.copyOptions.push_back(t.arena, "=");
  EXPECT_EQ(written(copy), expandExpected(R"({"variant":"Copy","source":{"variant":"Table","name":"t","columns":[]},
              "direction":"To","target":{"variant":"Stdout"},"options":[{"name":"FLAG","value":"TRUE"},
              {"name":"A","value":"B=C"},{"name":"","value":""}]})"));
}

TEST(DocDmlTest, MissingPartsAreDefects) {
  Tree t;
  SqlNode* conflict = t.node(nkOnConflict);
  conflict->mutableExtra(t.arena).detailText = "UPDATE";
  SqlNode* updateWhen = t.node(nkMergeWhen);
  updateWhen->mutableExtra(t.arena).detailText = "UPDATE";
  SqlNode* insertWhen = t.node(nkMergeWhen, {t.node(nkColumnList, {t.id("a")})});
  insertWhen->mutableExtra(t.arena).detailText = "INSERT";
  const struct {
    SqlNode* node;
    const char* defect;
  } cases[] = {
      {t.node(nkInsert), "INSERT without a table name"},
      {t.node(nkInsert, {t.id("t"), conflict}), "ON CONFLICT DO UPDATE without a SET list"},
      {t.node(nkUpdate, {t.id("t")}), "UPDATE without a SET list"},
      {t.node(nkUpdate, {t.id("t"), t.node(nkExprList, {t.id("a")})}), "assignment is not a binary operation"},
      {t.node(nkDelete), "DELETE without a table name"},
      {t.node(nkDelete, {t.id("t"), t.node(nkWhereClause)}), "WHERE clause without a condition"},
      {t.node(nkMerge, {t.id("t"), t.id("s")}), "MERGE without an ON condition"},
      {t.node(nkMerge, {t.id("t"), t.id("s"), t.id("x"), updateWhen}), "MERGE UPDATE without a SET list"},
      {t.node(nkMerge, {t.id("t"), t.id("s"), t.id("x"), insertWhen}), "MERGE INSERT without values"},
      {t.node(nkCopy), "COPY without a source"},
  };
  for (const auto& c : cases) EXPECT_EQ(written(c.node), std::string("defect: ") + c.defect);
  // The parser's own trees of these shapes are complete.
  EXPECT_EQ(written(t.node(nkUpdate, {t.id("t"), t.setList()})),
            expandExpected(R"({"variant":"Update","table":"t","assignments":[{"column":"a","value":#1}],"from":[],
                                "selection":null,"returning":[]})"));
}

// ---------------------------------------------------------------------------
// 1 MiB statements on a 1 MiB stack.

// Counts the string values equal to `word` in a document, with msgpack-c's
// visitor parser (which keeps its own stack, so deep documents are fine).
struct WordCounter : msgpack::null_visitor {
  explicit WordCounter(std::string word) : word(std::move(word)) {}
  bool visit_str(const char* v, std::uint32_t size) {
    if (std::string_view(v, size) == word) ++count;
    return true;
  }
  void parse_error(std::size_t, std::size_t) { failed = true; }
  void insufficient_bytes(std::size_t, std::size_t) { failed = true; }
  std::string word;
  std::size_t count = 0;
  bool failed = false;
};

struct ChainCase {
  const char* name;
  std::string head;
  std::string link;
  const char* word;  // written once per link
};

TEST(DocDmlTest, OneMebibyteStatementsOnAOneMebibyteStack) {
  const ChainCase chains[] = {
      {"VALUES rows", "INSERT INTO t VALUES (1)", ", (1)", "Number"},
      {"SET chain", "UPDATE t SET a = 1", "+1", "Add"},
      {"USING joins", "DELETE FROM t USING a", " JOIN b ON x", "Join"},
  };
  const std::size_t sizes[] = {kFullSize ? 256 * 1024 : 16 * 1024, kFullSize ? kOneMiB : 64 * 1024};
  for (const ChainCase& c : chains) {
    for (std::size_t size : sizes) {
      std::size_t links = (size - c.head.size()) / c.link.size();
      std::string sql = c.head + repeat(c.link, links);
      std::vector<std::uint8_t> document;
      std::string error;
      runOnThreadWithStack(kOneMiB, [&] {
        try {
          vellum::DocumentBytes bytes = vellum::parseSqlDocument(sql);
          document.assign(bytes.data.get(), bytes.data.get() + bytes.size);
        } catch (const vellum::VellumError& e) {
          error = e.message();
        }
      });
      ASSERT_EQ(error, "") << c.name << " at " << size;
      WordCounter counter(c.word);
      std::size_t offset = 0;
      EXPECT_TRUE(msgpack::parse(reinterpret_cast<const char*>(document.data()), document.size(), offset, counter));
      EXPECT_FALSE(counter.failed);
      EXPECT_EQ(offset, document.size()) << c.name;
      // The rows chain has one more Number (the first row), the others one
      // per link.
      EXPECT_EQ(counter.count, links + (c.word == std::string("Number") ? 1 : 0)) << c.name << " at " << size;
    }
  }
}

}  // namespace
}  // namespace vellum_test
