// PromQL parser: the tree of every construct (as its document, decoded by
// msgpack-c), precedence, the nesting limit and every syntax error.
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "promql/promql_document.h"
#include "support/errors.h"
#include "support/msgpack_json.h"

namespace {

using vellum::PromQlParseError;
using vellum_test::compactJson;
using vellum_test::JsonOptions;
using vellum_test::msgpackToJson;

// The document as JSON without spans, or the error message.
std::string parse(const std::string& text, bool withSpans = false) {
  try {
    vellum::DocumentBytes doc = vellum::parsePromQlDocument(text);
    JsonOptions options;
    if (!withSpans) options.dropKeys = {"span"};
    return msgpackToJson(doc.data.get(), doc.size, options);
  } catch (const PromQlParseError& e) {
    return e.message();
  }
}

// ---------------------------------------------------------------------------
// Expected documents without spans, built from their parts.

std::string quote(const std::string& s) {
  std::string out = "\"";
  for (char c : s) {
    if (c == '"' || c == '\\') out += '\\';
    if (c == '\n') {
      out += "\\n";
      continue;
    }
    out += c;
  }
  return out + "\"";
}

std::string env(const std::string& node) { return R"({"kind":)" + node + "}"; }

std::string num(const std::string& raw) { return env(R"({"variant":"NumberLiteral","value":)" + quote(raw) + "}"); }

std::string str(const std::string& value) { return env(R"({"variant":"StringLiteral","value":)" + quote(value) + "}"); }

std::string dur(const std::string& raw, long long ms) {
  return R"({"raw":)" + quote(raw) + R"(,"milliseconds":)" + std::to_string(ms) + "}";
}

std::string match(const std::string& name, const std::string& op, const std::string& value) {
  return R"({"name":)" + quote(name) + R"(,"op":")" + op + R"(","value":)" + quote(value) + "}";
}

// `metric` "" writes a nil metric.
std::string sel(const std::string& metric, const std::vector<std::string>& matchers = {},
                const std::string& offset = "null") {
  std::string list;
  for (const auto& m : matchers) list += (list.empty() ? "" : ",") + m;
  return env(R"({"variant":"VectorSelector","metric":)" + (metric.empty() ? "null" : quote(metric)) +
             R"(,"matchers":[)" + list + R"(],"offset":)" + offset + "}");
}

std::string matrix(const std::string& selector, const std::string& range, const std::string& offset = "null") {
  return env(R"({"variant":"MatrixSelector","selector":)" + selector + R"(,"range":)" + range + R"(,"offset":)" +
             offset + "}");
}

std::string call(const std::string& name, const std::vector<std::string>& args) {
  std::string list;
  for (const auto& a : args) list += (list.empty() ? "" : ",") + a;
  return env(R"({"variant":"FunctionCall","name":)" + quote(name) + R"(,"args":[)" + list + "]}");
}

// `grouping` is "null" or a JSON array of labels.
std::string agg(const std::string& op, const std::string& expr, const std::string& grouping = "null",
                bool without = false) {
  return env(R"({"variant":"Aggregate","op":")" + op + R"(","expr":)" + expr + R"(,"grouping":)" + grouping +
             R"(,"without":)" + (without ? "true" : "false") + "}");
}

std::string bin(const std::string& left, const std::string& op, const std::string& right) {
  return env(R"({"variant":"BinaryOp","left":)" + left + R"(,"op":")" + op + R"(","right":)" + right + "}");
}

std::string unary(const std::string& op, const std::string& expr) {
  return env(R"({"variant":"UnaryOp","op":")" + op + R"(","expr":)" + expr + "}");
}

std::string paren(const std::string& expr) { return env(R"({"variant":"Paren","expr":)" + expr + "}"); }

struct Case {
  std::string input;
  std::string expected;
};

void expectParses(const std::vector<Case>& cases) {
  for (const Case& c : cases) EXPECT_EQ(parse(c.input), c.expected) << "input: " << c.input;
}

std::string at(int line, int column, int offset, const std::string& near, const std::string& message) {
  return "PromQL parse error at line " + std::to_string(line) + ", col " + std::to_string(column) + ", offset " +
         std::to_string(offset) + " near '" + near + "': " + message;
}

// ---------------------------------------------------------------------------

TEST(PromQlParserTest, Literals) {
  expectParses({
      {"1", num("1")},
      {"1.50", num("1.50")},
      {".5", num(".5")},
      {"1e+5", num("1e+5")},
      {"007", num("007")},
      // Beyond the double range: infinity, accepted; the source text is kept.
      {"1e999", num("1e999")},
      {"1e-999", num("1e-999")},
      {R"("a\"b")", str("a\"b")},
      {R"('it\'s')", str("it's")},
      {"`raw\\n`", str("raw\\n")},
      {"'line\nbreak'", str("line\nbreak")},
      {"''", str("")},
  });
}

TEST(PromQlParserTest, Selectors) {
  expectParses({
      {"up", sel("up")},
      {"foo:bar_baz", sel("foo:bar_baz")},
      {"m\xc3\xa9trique", sel("m\xc3\xa9trique")},
      {"Inf", sel("Inf")},
      // Keywords name metrics and functions where no keyword is expected.
      {"offset", sel("offset")},
      {"by offset 5m", sel("by", {}, dur("5m", 300000))},
      {"x{}", sel("x")},
      {R"({job="x"})", sel("", {match("job", "Equal", "x")})},
      {R"(x{a="1", b!="2", c=~"3", d!~'4'})",
       sel("x", {match("a", "Equal", "1"), match("b", "NotEqual", "2"), match("c", "Regex", "3"),
                 match("d", "NotRegex", "4")})},
      {R"({a="b",})", sel("", {match("a", "Equal", "b")})},
      {"x{a=`raw\\`}", sel("x", {match("a", "Equal", "raw\\")})},
      // Label names may be keywords or strings.
      {R"(x{offset="1", by="2", without="3", "quoted name"="4"})",
       sel("x", {match("offset", "Equal", "1"), match("by", "Equal", "2"), match("without", "Equal", "3"),
                 match("quoted name", "Equal", "4")})},
      {R"({"__name__"="x"})", sel("", {match("__name__", "Equal", "x")})},
  });
}

TEST(PromQlParserTest, RangesAndOffsets) {
  expectParses({
      {"x[5m]", matrix(sel("x"), dur("5m", 300000))},
      {R"(x{a="b"}[1h30m])", matrix(sel("x", {match("a", "Equal", "b")}), dur("1h30m", 5400000))},
      {"x offset 1h", sel("x", {}, dur("1h", 3600000))},
      {"x offset -5m", sel("x", {}, dur("-5m", -300000))},
      {"x offset +5m", sel("x", {}, dur("+5m", 300000))},
      {"x offset - 5m", sel("x", {}, dur("-5m", -300000))},
      {"x[5m] offset 1h", matrix(sel("x"), dur("5m", 300000), dur("1h", 3600000))},
      {"x[5m] offset -1w", matrix(sel("x"), dur("5m", 300000), dur("-1w", -604800000))},
      {"rate(x[5m])", call("rate", {matrix(sel("x"), dur("5m", 300000))})},
  });
}

TEST(PromQlParserTest, FunctionsAndAggregations) {
  expectParses({
      {"time()", call("time", {})},
      {"topk(3, x)", call("topk", {num("3"), sel("x")})},
      {"f(1, 'a', g(x), -1)", call("f", {num("1"), str("a"), call("g", {sel("x")}), unary("Minus", num("1"))})},
      {"without(x)", call("without", {sel("x")})},
      {"sum(x)", agg("sum", sel("x"))},
      {"min(x) + max(y)", bin(agg("min", sel("x")), "Add", agg("max", sel("y")))},
      {"avg(count(x))", agg("avg", agg("count", sel("x")))},
      {"sum by (job) (x)", agg("sum", sel("x"), R"(["job"])")},
      {"sum (x) by (job)", agg("sum", sel("x"), R"(["job"])")},
      {"sum without (a, b) (x)", agg("sum", sel("x"), R"(["a","b"])", true)},
      {"sum(x) without (a,)", agg("sum", sel("x"), R"(["a"])", true)},
      {"sum without () (x)", agg("sum", sel("x"), "[]", true)},
      {"sum by () (x)", agg("sum", sel("x"), "[]")},
      {R"(count by (offset, by, without, "q") (x))", agg("count", sel("x"), R"(["offset","by","without","q"])")},
      // Aggregation names are case-sensitive: SUM is a function.
      {"SUM(x)", call("SUM", {sel("x")})},
  });
}

TEST(PromQlParserTest, Precedence) {
  expectParses({
      {"1 + 2 * 3", bin(num("1"), "Add", bin(num("2"), "Mul", num("3")))},
      {"1 * 2 + 3", bin(bin(num("1"), "Mul", num("2")), "Add", num("3"))},
      {"1 - 2 - 3", bin(bin(num("1"), "Sub", num("2")), "Sub", num("3"))},
      {"1 / 2 % 3 * 4", bin(bin(bin(num("1"), "Div", num("2")), "Mod", num("3")), "Mul", num("4"))},
      {"2 ^ 3 ^ 2", bin(num("2"), "Pow", bin(num("3"), "Pow", num("2")))},
      {"2 * 3 ^ 2", bin(num("2"), "Mul", bin(num("3"), "Pow", num("2")))},
      {"-2 ^ 2", unary("Minus", bin(num("2"), "Pow", num("2")))},
      {"-a * b", bin(unary("Minus", sel("a")), "Mul", sel("b"))},
      {"+x", unary("Plus", sel("x"))},
      {"- -x", unary("Minus", unary("Minus", sel("x")))},
      {"1 - -1", bin(num("1"), "Sub", unary("Minus", num("1")))},
      {"2 ^ -1 ^ 2", bin(num("2"), "Pow", unary("Minus", bin(num("1"), "Pow", num("2"))))},
      {"(1 + 2) * 3", bin(paren(bin(num("1"), "Add", num("2"))), "Mul", num("3"))},
      {"a + b * c - d / e ^ f",
       bin(bin(sel("a"), "Add", bin(sel("b"), "Mul", sel("c"))), "Sub",
           bin(sel("d"), "Div", bin(sel("e"), "Pow", sel("f"))))},
  });
}

// Every node's span, and the offset modifier's span that runs on to the
// next token.
TEST(PromQlParserTest, Spans) {
  auto pos = [](int line, int column, int offset) {
    return R"({"line":)" + std::to_string(line) + R"(,"column":)" + std::to_string(column) + R"(,"offset":)" +
           std::to_string(offset) + "}";
  };
  auto span = [&](int l1, int c1, int o1, int l2, int c2, int o2) {
    return R"({"start":)" + pos(l1, c1, o1) + R"(,"end":)" + pos(l2, c2, o2) + "}";
  };
  const std::vector<Case> cases = {
      {"up", R"({"kind":{"variant":"VectorSelector","metric":"up","matchers":[],"offset":null},"span":)" +
                 span(1, 1, 0, 1, 3, 2) + "}"},
      {R"(  {job="x"} )", R"({"kind":{"variant":"VectorSelector","metric":null,"matchers":[)"
                          R"({"name":"job","op":"Equal","value":"x","span":)" +
                              span(1, 4, 3, 1, 11, 10) + "}]," + R"("offset":null},"span":)" +
                              span(1, 3, 2, 1, 12, 11) + "}"},
      {"x{} ", R"({"kind":{"variant":"VectorSelector","metric":"x","matchers":[],"offset":null},"span":)" +
                   span(1, 1, 0, 1, 4, 3) + "}"},
      {"x offset 5m  \n", R"({"kind":{"variant":"VectorSelector","metric":"x","matchers":[],)"
                          R"("offset":{"raw":"5m","milliseconds":300000}},"span":)" +
                              span(1, 1, 0, 2, 1, 14) + "}"},
      {"x[5m]\n offset 1h  ",
       R"({"kind":{"variant":"MatrixSelector","selector":{"kind":{"variant":"VectorSelector","metric":"x",)"
       R"("matchers":[],"offset":null},"span":)" +
           span(1, 1, 0, 1, 2, 1) + R"(},"range":{"raw":"5m","milliseconds":300000},)" +
           R"("offset":{"raw":"1h","milliseconds":3600000}},"span":)" + span(1, 1, 0, 2, 13, 18) + "}"},
      // A selector with a metric, a matcher block and an offset, as the left
      // operand: its span runs to the operator, the operation's to the end.
      {R"(x{a="b"} offset 5m + 1)",
       R"({"kind":{"variant":"BinaryOp","left":{"kind":{"variant":"VectorSelector","metric":"x","matchers":[)"
       R"({"name":"a","op":"Equal","value":"b","span":)" +
           span(1, 3, 2, 1, 8, 7) + R"(}],"offset":{"raw":"5m","milliseconds":300000}},"span":)" +
           span(1, 1, 0, 1, 20, 19) + R"(},"op":"Add","right":{"kind":{"variant":"NumberLiteral","value":"1"},)" +
           R"("span":)" + span(1, 22, 21, 1, 23, 22) + R"(}},"span":)" + span(1, 1, 0, 1, 23, 22) + "}"},
      {"1.5", R"({"kind":{"variant":"NumberLiteral","value":"1.5"},"span":)" + span(1, 1, 0, 1, 4, 3) + "}"},
      {"'a\\nb'", R"({"kind":{"variant":"StringLiteral","value":"a\nb"},"span":)" + span(1, 1, 0, 1, 7, 6) + "}"},
      {"f( 1 )", R"({"kind":{"variant":"FunctionCall","name":"f","args":[{"kind":{"variant":"NumberLiteral",)"
                 R"("value":"1"},"span":)" +
                     span(1, 4, 3, 1, 5, 4) + R"(}]},"span":)" + span(1, 1, 0, 1, 7, 6) + "}"},
      {"sum(x) by (a)", R"({"kind":{"variant":"Aggregate","op":"sum","expr":{"kind":{"variant":"VectorSelector",)"
                        R"("metric":"x","matchers":[],"offset":null},"span":)" +
                            span(1, 5, 4, 1, 6, 5) + R"(},"grouping":["a"],"without":false},"span":)" +
                            span(1, 1, 0, 1, 14, 13) + "}"},
      {"sum by (a) (x)", R"({"kind":{"variant":"Aggregate","op":"sum","expr":{"kind":{"variant":"VectorSelector",)"
                         R"("metric":"x","matchers":[],"offset":null},"span":)" +
                             span(1, 13, 12, 1, 14, 13) + R"(},"grouping":["a"],"without":false},"span":)" +
                             span(1, 1, 0, 1, 15, 14) + "}"},
      {"sum without (a) (x) ",
       R"({"kind":{"variant":"Aggregate","op":"sum","expr":{"kind":{"variant":"VectorSelector",)"
       R"("metric":"x","matchers":[],"offset":null},"span":)" +
           span(1, 18, 17, 1, 19, 18) + R"(},"grouping":["a"],"without":true},"span":)" + span(1, 1, 0, 1, 20, 19) +
           "}"},
      {"1 +\n2", R"({"kind":{"variant":"BinaryOp","left":{"kind":{"variant":"NumberLiteral","value":"1"},"span":)" +
                     span(1, 1, 0, 1, 2, 1) + R"(},"op":"Add","right":{"kind":{"variant":"NumberLiteral",)" +
                     R"("value":"2"},"span":)" + span(2, 1, 4, 2, 2, 5) + R"(}},"span":)" + span(1, 1, 0, 2, 2, 5) +
                     "}"},
      {"- x", R"({"kind":{"variant":"UnaryOp","op":"Minus","expr":{"kind":{"variant":"VectorSelector",)"
              R"("metric":"x","matchers":[],"offset":null},"span":)" +
                  span(1, 3, 2, 1, 4, 3) + R"(}},"span":)" + span(1, 1, 0, 1, 4, 3) + "}"},
      {"(x)", R"({"kind":{"variant":"Paren","expr":{"kind":{"variant":"VectorSelector",)"
              R"("metric":"x","matchers":[],"offset":null},"span":)" +
                  span(1, 2, 1, 1, 3, 2) + R"(}},"span":)" + span(1, 1, 0, 1, 4, 3) + "}"},
  };
  for (const Case& c : cases) EXPECT_EQ(parse(c.input, true), c.expected) << "input: " << c.input;
}

// An operator chain is written along its left spine without recursion;
// the document must be the one a recursive writer gives, spans included.
TEST(PromQlParserTest, ChainsWithSpans) {
  const std::string doc = parse("a-b*c+d", true);
  const std::string expected = compactJson(R"({"kind":{"variant":"BinaryOp",
    "left":{"kind":{"variant":"BinaryOp",
      "left":{"kind":{"variant":"VectorSelector","metric":"a","matchers":[],"offset":null},
              "span":{"start":{"line":1,"column":1,"offset":0},"end":{"line":1,"column":2,"offset":1}}},
      "op":"Sub",
      "right":{"kind":{"variant":"BinaryOp",
        "left":{"kind":{"variant":"VectorSelector","metric":"b","matchers":[],"offset":null},
                "span":{"start":{"line":1,"column":3,"offset":2},"end":{"line":1,"column":4,"offset":3}}},
        "op":"Mul",
        "right":{"kind":{"variant":"VectorSelector","metric":"c","matchers":[],"offset":null},
                 "span":{"start":{"line":1,"column":5,"offset":4},"end":{"line":1,"column":6,"offset":5}}}},
        "span":{"start":{"line":1,"column":3,"offset":2},"end":{"line":1,"column":6,"offset":5}}}},
      "span":{"start":{"line":1,"column":1,"offset":0},"end":{"line":1,"column":6,"offset":5}}},
    "op":"Add",
    "right":{"kind":{"variant":"VectorSelector","metric":"d","matchers":[],"offset":null},
             "span":{"start":{"line":1,"column":7,"offset":6},"end":{"line":1,"column":8,"offset":7}}}},
    "span":{"start":{"line":1,"column":1,"offset":0},"end":{"line":1,"column":8,"offset":7}}})");
  EXPECT_EQ(doc, expected);

  // Chains inside chains: a parenthesised chain on the right, a chain as an
  // argument, and a chain under a unary operator.
  expectParses({
      {"1+2+(3+4+5)",
       bin(bin(num("1"), "Add", num("2")), "Add", paren(bin(bin(num("3"), "Add", num("4")), "Add", num("5"))))},
      {"f(1*2*3, 4)", call("f", {bin(bin(num("1"), "Mul", num("2")), "Mul", num("3")), num("4")})},
      {"-(1-2-3)-4",
       bin(unary("Minus", paren(bin(bin(num("1"), "Sub", num("2")), "Sub", num("3")))), "Sub", num("4"))},
  });
}

TEST(PromQlParserTest, NestingLimit) {
  auto nested = [](int n, const std::string& open, const std::string& inner, const std::string& close) {
    std::string s;
    for (int i = 0; i < n; ++i) s += open;
    s += inner;
    for (int i = 0; i < n; ++i) s += close;
    return s;
  };
  // The whole expression is one level, each parenthesis one more.
  EXPECT_EQ(parse(nested(63, "(", "1", ")")), nested(63, R"({"kind":{"variant":"Paren","expr":)", num("1"), "}}"));
  EXPECT_EQ(parse(nested(64, "(", "1", ")")), at(1, 65, 64, "1", "expression nesting exceeds limit 64"));
  // Unary operands, right operands of ^, arguments and aggregation
  // expressions count the same way.
  EXPECT_NE(parse(nested(63, "-", "1", "")).find("UnaryOp"), std::string::npos);
  EXPECT_EQ(parse(nested(64, "-", "1", "")), at(1, 65, 64, "1", "expression nesting exceeds limit 64"));
  EXPECT_NE(parse(nested(63, "2^", "2", "")).find("Pow"), std::string::npos);
  EXPECT_EQ(parse(nested(64, "2^", "2", "")), at(1, 129, 128, "2", "expression nesting exceeds limit 64"));
  EXPECT_NE(parse(nested(63, "f(", "1", ")")).find("FunctionCall"), std::string::npos);
  EXPECT_EQ(parse(nested(64, "f(", "1", ")")), at(1, 129, 128, "1", "expression nesting exceeds limit 64"));
  EXPECT_NE(parse(nested(63, "sum(", "x", ")")).find("Aggregate"), std::string::npos);
  EXPECT_EQ(parse(nested(64, "sum(", "x", ")")), at(1, 257, 256, "x", "expression nesting exceeds limit 64"));
  // 1 + (62 parentheses) + 1 right operand = 64; one more parenthesis fails.
  EXPECT_NE(parse("1+" + nested(62, "(", "1", ")")).find("Paren"), std::string::npos);
  EXPECT_EQ(parse("1+" + nested(63, "(", "1", ")")), at(1, 66, 65, "1", "expression nesting exceeds limit 64"));
  // Left-associative chains do not nest at all.
  std::string chain = "1";
  for (int i = 0; i < 1000; ++i) chain += i % 2 ? "+1" : "*x";
  EXPECT_EQ(parse(chain).rfind(R"({"kind":{"variant":"BinaryOp","left":{"kind":{"variant":"BinaryOp")", 0), 0u);
}

TEST(PromQlParserTest, Errors) {
  const std::vector<Case> cases = {
      {"", at(1, 1, 0, "<eof>", "no expression found in input")},
      {" \n ", at(2, 2, 3, "<eof>", "no expression found in input")},
      {"x y", at(1, 3, 2, "y", "unexpected token after expression")},
      {"x and y", at(1, 3, 2, "and", "unexpected token after expression")},
      {"x == 1", at(1, 3, 2, "=", "unexpected token after expression")},
      {"1 bool 2", at(1, 3, 2, "bool", "unexpected token after expression")},
      {"x)", at(1, 2, 1, ")", "unexpected token after expression")},
      {"x{a=\"b\"}{c=\"d\"}", at(1, 9, 8, "{", "unexpected token after expression")},
      {"1 +", at(1, 4, 3, "<eof>", "expected expression")},
      {"*", at(1, 1, 0, "*", "expected expression")},
      {"f(a,)", at(1, 5, 4, ")", "expected expression")},
      {"[5m]", at(1, 1, 0, "[", "expected expression")},
      {"(1", at(1, 3, 2, "<eof>", "expected ')' after expression")},
      {"(1 2)", at(1, 4, 3, "2", "expected ')' after expression")},
      {".5.5", at(1, 5, 4, "<eof>", "invalid numeric literal")},
      {".5.5 + x", at(1, 6, 5, "+", "invalid numeric literal")},
      {"x[5m][5m]", at(1, 6, 5, "[", "ranges are only allowed for vector selectors")},
      {"(x)[5m]", at(1, 4, 3, "[", "ranges are only allowed for vector selectors")},
      {"1[5m]", at(1, 2, 1, "[", "ranges are only allowed for vector selectors")},
      {"x offset 1h [5m]", at(1, 13, 12, "[", "offset must follow a range selector")},
      {"x[5m", at(1, 5, 4, "<eof>", "expected ']' after range duration")},
      {"x[5m:1m]", at(1, 5, 4, ":1m", "expected ']' after range duration")},
      {"x[5m 1m]", at(1, 6, 5, "1m", "expected ']' after range duration")},
      {"(x) offset 1h", at(1, 5, 4, "offset", "offset is only allowed for vector and range selectors")},
      {"sum(x) offset 1h", at(1, 8, 7, "offset", "offset is only allowed for vector and range selectors")},
      {"x offset 1h offset 1h", at(1, 13, 12, "offset", "duplicate offset modifier")},
      {"x[5m] offset 1h offset 1h", at(1, 17, 16, "offset", "duplicate offset modifier")},
      {"x[]", at(1, 3, 2, "]", "expected duration")},
      {"x[5]", at(1, 3, 2, "5", "expected duration")},
      {"x[-5m]", at(1, 3, 2, "-", "expected duration")},
      {"x offset", at(1, 9, 8, "<eof>", "expected duration")},
      {"x offset -", at(1, 11, 10, "<eof>", "expected duration")},
      {"x offset --5m", at(1, 11, 10, "-", "expected duration")},
      {"x[5mm]", at(1, 3, 2, "5mm", "invalid duration")},
      {"x offset -1h1h", at(1, 11, 10, "1h1h", "duration units must be unique and descending")},
      {"x[0s]", at(1, 3, 2, "0s", "duration must be positive and in range")},
      {"{}", at(1, 3, 2, "<eof>", "selector without a metric must contain at least one matcher")},
      {"{} + 1", at(1, 4, 3, "+", "selector without a metric must contain at least one matcher")},
      {"x{a}", at(1, 4, 3, "}", "expected label matcher operator (=, !=, =~, !~)")},
      {"x{a==\"b\"}", at(1, 5, 4, "=", "expected string literal after matcher operator")},
      {"x{a=5}", at(1, 5, 4, "5", "expected string literal after matcher operator")},
      {"x{a=b}", at(1, 5, 4, "b", "expected string literal after matcher operator")},
      {"x{a=\"b\",,}", at(1, 9, 8, ",", "expected label name")},
      {"x{,}", at(1, 3, 2, ",", "expected label name")},
      {"x{1=\"b\"}", at(1, 3, 2, "1", "expected label name")},
      {"x{a=\"b\" c=\"d\"}", at(1, 9, 8, "c", "expected '}' after label matchers")},
      {"x{a=\"b\"", at(1, 8, 7, "<eof>", "expected '}' after label matchers")},
      {"f(1", at(1, 4, 3, "<eof>", "expected ')' after function arguments")},
      {"f(1 2)", at(1, 5, 4, "2", "expected ')' after function arguments")},
      {"sum", at(1, 4, 3, "<eof>", "expected '(' after aggregation operator")},
      {"sum x", at(1, 5, 4, "x", "expected '(' after aggregation operator")},
      {"sum by (a) x", at(1, 12, 11, "x", "expected '(' after aggregation operator")},
      {"sum()", at(1, 5, 4, ")", "expected expression")},
      {"sum(3, x)", at(1, 6, 5, ",", "aggregation operator accepts exactly one expression")},
      {"sum(x", at(1, 6, 5, "<eof>", "expected ')' after aggregation expression")},
      {"sum(x y)", at(1, 7, 6, "y", "expected ')' after aggregation expression")},
      {"sum by (a) (x) by (b)", at(1, 16, 15, "by", "aggregation may contain only one grouping modifier")},
      {"sum (x) by (a) without (b)", at(1, 16, 15, "without", "unexpected token after expression")},
      {"sum by a (x)", at(1, 8, 7, "a", "expected '(' after grouping modifier")},
      {"sum(x) by", at(1, 10, 9, "<eof>", "expected '(' after grouping modifier")},
      {"sum by (1) (x)", at(1, 9, 8, "1", "expected grouping label")},
      {"sum by (a,,) (x)", at(1, 11, 10, ",", "expected grouping label")},
      {"sum by (a b) (x)", at(1, 11, 10, "b", "expected ')' after grouping labels")},
      {"sum by (a", at(1, 10, 9, "<eof>", "expected ')' after grouping labels")},
      // The near text of an empty string token reads as the end token's.
      {"x ''", at(1, 3, 2, "<eof>", "unexpected token after expression")},
      // A string token is quoted by its decoded text.
      {"x \"a\\tb\"", at(1, 3, 2, "a\tb", "unexpected token after expression")},
      // Lexical errors reach the caller the same way.
      {"x{a=\"b}", at(1, 5, 4, "\"", "unterminated string literal")},
      {"1e", at(1, 1, 0, "1e", "invalid numeric exponent")},
      {"x <= 1", at(1, 3, 2, "<", "unexpected character")},
  };
  for (const Case& c : cases) EXPECT_EQ(parse(c.input), c.expected) << "input: " << c.input;
}

}  // namespace
