// Left-deep chains as long as the input allows (a+b+..., a->'k'->..., a[1][1]...,
// t JOIN t JOIN ...) are written without recursion along the chain: 1 MiB
// inputs come back as documents on a thread with a 1 MiB stack, and the bytes
// are exactly those of a plainly recursive writer (the reference below,
// built on msgpack-c's packer).
#include <cstdint>
#include <string>
#include <vector>

#include <gtest/gtest.h>
#include <msgpack.hpp>

#include "doc_support.h"
#include "support/threads.h"

namespace vellum_test {
namespace {

using namespace vellum::sql;

// ---------------------------------------------------------------------------
// The reference: a straightforward recursive writer for the few node kinds
// the chain inputs contain.

class ReferenceWriter {
 public:
  std::vector<std::uint8_t> document(const NodeList& statements) {
    pk_.pack_array(static_cast<std::uint32_t>(statements.size()));
    for (const SqlNode* s : statements) {
      pk_.pack_map(2);
      key("kind");
      select(s);
      key("span");
      span(s->span);
    }
    return std::vector<std::uint8_t>(buffer_.data(), buffer_.data() + buffer_.size());
  }

 private:
  void key(const std::string& k) { pk_.pack(k); }

  void span(const SqlSpan& s) {
    pk_.pack_map(2);
    key("start");
    pk_.pack_map(2);
    key("line");
    pk_.pack(s.startLine);
    key("column");
    pk_.pack(s.startColumn);
    key("end");
    pk_.pack_map(2);
    key("line");
    pk_.pack(s.endLine);
    key("column");
    pk_.pack(s.endColumn);
  }

  void select(const SqlNode* s) {
    const SqlNode* projection = nullptr;
    const SqlNode* from = nullptr;
    for (const SqlNode* c : s->children()) {
      if (c->kind == nkExprList) projection = c;
      else if (c->kind == nkFromClause) from = c;
      else ADD_FAILURE() << "reference writer: clause " << kindName(c->kind);
    }
    pk_.pack_map(15);
    key("variant");
    pk_.pack(std::string("Select"));
    key("distinct");
    pk_.pack(false);
    key("distinct_on");
    pk_.pack_array(0);
    key("projection");
    pk_.pack_array(static_cast<std::uint32_t>(projection->children().size()));
    for (const SqlNode* item : projection->children()) {
      if (item->kind == nkStar) {
        pk_.pack_map(2);
        key("variant");
        pk_.pack(std::string("Wildcard"));
      } else {
        pk_.pack_map(4);
        key("variant");
        pk_.pack(std::string("Expr"));
        key("expr");
        expr(item);
        key("alias");
        pk_.pack_nil();
      }
      key("span");
      span(item->span);
    }
    key("from");
    if (from == nullptr) {
      pk_.pack_array(0);
    } else {
      pk_.pack_array(static_cast<std::uint32_t>(from->children().size()));
      for (const SqlNode* item : from->children()) fromItem(item);
    }
    key("selection");
    pk_.pack_nil();
    key("group_by");
    pk_.pack_nil();
    key("having");
    pk_.pack_nil();
    key("windows");
    pk_.pack_array(0);
    key("qualify");
    pk_.pack_nil();
    key("set_operations");
    pk_.pack_array(0);
    key("order_by");
    pk_.pack_array(0);
    key("limit");
    pk_.pack_nil();
    key("offset");
    pk_.pack_nil();
    key("limit_with_ties");
    pk_.pack(false);
  }

  void fromItem(const SqlNode* item) {
    if (item->kind == nkJoin) {
      static const char* const kTypes[] = {"Inner", "Left", "Right", "Full", "Cross"};
      pk_.pack_map(7);
      key("variant");
      pk_.pack(std::string("Join"));
      key("left");
      fromItem(item->joinLeft());
      key("right");
      fromItem(item->joinRight());
      key("join_type");
      pk_.pack(std::string(kTypes[item->joinKind()]));
      key("condition");
      if (item->joinCond() == nullptr) {
        pk_.pack_nil();
      } else {
        expr(item->joinCond());
      }
      key("using");
      pk_.pack_nil();
    } else {
      EXPECT_EQ(item->kind, nkIdentifier);
      pk_.pack_map(5);
      key("variant");
      pk_.pack(std::string("Table"));
      key("name");
      pk_.pack(std::string(item->strVal()));
      key("alias");
      pk_.pack_nil();
      key("columns");
      pk_.pack_array(0);
    }
    key("span");
    span(item->span);
  }

  void expr(const SqlNode* e) {
    static const char* const kOps[] = {"Eq", "Neq", "Lt", "LtEq", "Gt", "GtEq", "Add", "Sub", "Mul", "Div", "Mod"};
    pk_.pack_map(2);
    key("kind");
    switch (e->kind) {
      case nkIntLit:
      case nkStringLit:
        pk_.pack_map(2);
        key("variant");
        pk_.pack(std::string("Literal"));
        key("literal");
        pk_.pack_map(2);
        key("variant");
        pk_.pack(std::string(e->kind == nkIntLit ? "Number" : "String"));
        key("value");
        pk_.pack(e->kind == nkIntLit ? std::to_string(e->intVal()) : std::string(e->strVal()));
        break;
      case nkIdentifier:
        pk_.pack_map(3);
        key("variant");
        pk_.pack(std::string("ColumnRef"));
        key("table");
        pk_.pack_nil();
        key("column");
        pk_.pack(std::string(e->strVal()));
        break;
      case nkBinaryOp:
        EXPECT_LE(e->binOp(), opMod);
        pk_.pack_map(4);
        key("variant");
        pk_.pack(std::string("BinaryOp"));
        key("left");
        expr(e->binLeft());
        key("op");
        pk_.pack(std::string(kOps[e->binOp()]));
        key("right");
        expr(e->binRight());
        break;
      case nkFunctionCall: {
        const NodeList& children = e->children();
        pk_.pack_map(6);
        key("variant");
        pk_.pack(std::string("FunctionCall"));
        key("name");
        pk_.pack(std::string(children[0]->strVal()));
        key("args");
        pk_.pack_array(static_cast<std::uint32_t>(children.size() - 1));
        for (std::size_t i = 1; i < children.size(); ++i) expr(children[i]);
        key("distinct");
        pk_.pack(false);
        key("star");
        pk_.pack(false);
        key("over");
        pk_.pack_nil();
        break;
      }
      default:
        ADD_FAILURE() << "reference writer: expression " << kindName(e->kind);
    }
    key("span");
    span(e->span);
  }

  msgpack::sbuffer buffer_;
  msgpack::packer<msgpack::sbuffer> pk_{buffer_};
};

// ---------------------------------------------------------------------------

std::vector<std::uint8_t> libraryDocument(const std::string& sql) {
  vellum::DocumentBytes document = vellum::parseSqlDocument(sql);
  return std::vector<std::uint8_t>(document.data.get(), document.data.get() + document.size);
}

// The reference recurses along the chain, so it runs on a stack to match.
std::vector<std::uint8_t> referenceDocument(const std::string& sql) {
  std::vector<std::uint8_t> document;
  runOnThreadWithStack(std::size_t{1} << 30, [&] {
    vellum::Arena arena;
    NodeList statements = parseStatements(sql, arena);
    document = ReferenceWriter().document(statements);
  });
  return document;
}

// "head" followed by `link` as often as fits into `bytes`.
std::string chain(const std::string& head, const std::string& link, std::size_t bytes) {
  std::string text = head;
  text.reserve(bytes);
  while (text.size() + link.size() <= bytes) text += link;
  return text;
}

struct ChainCase {
  const char* name;
  std::string head;
  std::string link;
};

const ChainCase kChains[] = {
    {"additions", "SELECT 1", "+1"},
    {"mixed operators", "SELECT a", " * 2 - b % 3 + 'x'"},
    {"JSON arrows", "SELECT a", "->'k'"},
    {"subscripts", "SELECT a", "[1]"},
    {"arrows and operators", "SELECT a", "->'k' + 1"},
    {"joins", "SELECT * FROM t", " JOIN t"},
    {"joins with conditions", "SELECT * FROM t", " LEFT JOIN u ON a->'k' = b + 1"},
    {"comma lists", "SELECT * FROM t", ", u"},
};

TEST(DocChainTest, MidSizeChainsMatchTheRecursiveReference) {
  for (const ChainCase& c : kChains) {
    std::string sql = chain(c.head, c.link, 20000);
    EXPECT_EQ(libraryDocument(sql), referenceDocument(sql)) << c.name;
  }
}

TEST(DocChainTest, ChainsDecodeToTheExpectedNesting) {
  // SELECT 1+1+1+1 as JSON, built the long way round.
  std::string expected = "#1";
  for (int i = 0; i < 3; ++i) expected = R"({"kind":{"variant":"BinaryOp","left":)" + expected + R"(,"op":"Add","right":#1}})";
  expected = R"([{"kind":{"variant":"Select","distinct":false,"distinct_on":[],"projection":[{"variant":"Expr","expr":)" + expected +
             R"(,"alias":null}],"from":[],"selection":null,"group_by":null,"having":null,"windows":[],"qualify":null,)"
             R"("set_operations":[],"order_by":[],"limit":null,"offset":null,"limit_with_ties":false}}])";
  EXPECT_EQ(sqlDocJson("SELECT 1+1+1+1"), expandExpected(expected));

  // t JOIN t JOIN t as JSON.
  std::string table = R"({"variant":"Table","name":"t","alias":null,"columns":[]})";
  std::string joins = table;
  for (int i = 0; i < 2; ++i) {
    joins = R"({"variant":"Join","left":)" + joins + R"(,"right":)" + table +
            R"(,"join_type":"Inner","condition":null,"using":null})";
  }
  EXPECT_EQ(sqlDocJson("SELECT * FROM t JOIN t JOIN t"),
            R"([{"kind":{"variant":"Select","distinct":false,"distinct_on":[],"projection":[{"variant":"Wildcard"}],"from":[)" + joins +
                R"(],"selection":null,"group_by":null,"having":null,"windows":[],"qualify":null,"set_operations":[],"order_by":[],)"
                R"("limit":null,"offset":null,"limit_with_ties":false}}])");
}

TEST(DocChainTest, OneMebibyteChainsOnAOneMebibyteStack) {
  const std::size_t size = kFullSize ? 1048576 : 65536;
  for (const ChainCase& c : kChains) {
    std::string sql = chain(c.head, c.link, size);
    std::vector<std::uint8_t> document;
    std::string error;
    runOnThreadWithStack(kOneMiB, [&] {
      try {
        document = libraryDocument(sql);
      } catch (const vellum::VellumError& e) {
        error = e.message();
      }
    });
    ASSERT_EQ(error, "") << c.name;
    std::vector<std::uint8_t> reference = referenceDocument(sql);
    EXPECT_EQ(document.size(), reference.size()) << c.name;
    EXPECT_TRUE(document == reference) << c.name;
  }
}

// Recursion that remains goes through non-lead operands, which need a nesting
// level (parentheses, prefix operators) every few precedence levels: the
// deepest such tree the parser accepts is still written on a 1 MiB stack
// (parser and writer together need less than 256 KiB for it in an optimised
// build; sanitizer frames are several times larger, so they get less depth).
TEST(DocChainTest, DeepestRightNestingOnAOneMebibyteStack) {
  const int levels = kFullSize ? 126 : 30;
  const std::string ladder = "a OR a AND a = a || a | a ^ a & a << a + a * ";
  std::string sql = "SELECT ";
  for (int i = 0; i < levels; ++i) sql += ladder + "(";
  sql += ladder + "f(x)";
  for (int i = 0; i < levels; ++i) sql += ")";
  std::string error;
  std::size_t size = 0;
  runOnThreadWithStack(kOneMiB, [&] {
    try {
      size = libraryDocument(sql).size();
    } catch (const vellum::VellumError& e) {
      error = e.message();
    }
  });
  EXPECT_EQ(error, "");
  EXPECT_GT(size, 0u);
}

}  // namespace
}  // namespace vellum_test
