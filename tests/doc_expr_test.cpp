// Expression envelopes in SQL documents: names, literals and float text,
// operators and predicates, function calls with their clauses, windows, CASE,
// casts and data types, subqueries. Each case parses "SELECT <expr>" and
// writes the first projection item's expression.
#include <cfenv>
#include <charconv>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <random>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "doc_support.h"

namespace vellum_test {
namespace {

// The SELECT map of "SELECT 1", without spans.
const std::string kSelect1 =
    R"({"variant":"Select","distinct":false,"distinct_on":[],"projection":[{"variant":"Expr","expr":#1,"alias":null}],)"
    R"("from":[],"selection":null,"group_by":null,"having":null,"windows":[],"qualify":null,"set_operations":[],)"
    R"("order_by":[],"limit":null,"offset":null,"limit_with_ties":false})";

void runExprCases(const std::vector<DocCase>& cases) {
  for (const DocCase& c : cases) {
    EXPECT_EQ(exprJson(c.input), expectedText(c.expected)) << "input: " << c.input;
  }
}

TEST(DocExprTest, NamesAndLiterals) {
  runExprCases({
      {"a", R"($a)"},
      {"first", R"($first)"},
      {"\"Mixed Case\"", R"({"kind":{"variant":"ColumnRef","table":null,"column":"Mixed Case"}})"},
      {"t.c", R"({"kind":{"variant":"ColumnRef","table":"t","column":"c"}})"},
      {"f(t.*)", R"({"kind":{"variant":"FunctionCall","name":"f","args":[{"kind":{"variant":"ColumnRef","column":"t"}}],
                     "distinct":false,"star":false,"over":null}})"},
      {"f(a, *)", R"({"kind":{"variant":"FunctionCall","name":"f","args":[$a,
                     {"kind":{"variant":"ColumnRef","table":null,"column":"*"}}],"distinct":false,"star":false,"over":null}})"},
      {"'it''s'", R"({"kind":{"variant":"Literal","literal":{"variant":"String","value":"it's"}}})"},
      {"''", R"({"kind":{"variant":"Literal","literal":{"variant":"String","value":""}}})"},
      {"INTERVAL '1 day'", R"({"kind":{"variant":"Literal","literal":{"variant":"Interval","value":"1 day"}}})"},
      {"42", R"(#42)"},
      {"9223372036854775807", R"(#9223372036854775807)"},
      {"TRUE", R"({"kind":{"variant":"Literal","literal":{"variant":"Boolean","value":true}}})"},
      {"false", R"({"kind":{"variant":"Literal","literal":{"variant":"Boolean","value":false}}})"},
      {"NULL", R"({"kind":{"variant":"Literal","literal":{"variant":"Null"}}})"},
      {"?", R"({"kind":{"variant":"Parameter","index":1}})"},
      {"-5", R"({"kind":{"variant":"UnaryOp","op":"Minus","operand":#5}})"},
      {"~a", R"({"kind":{"variant":"UnaryOp","op":"BitNot","operand":$a}})"},
      {"NOT a", R"({"kind":{"variant":"UnaryOp","op":"Not","operand":$a}})"},
      {"(1, 'x')", R"({"kind":{"variant":"Row","items":[#1,{"kind":{"variant":"Literal","literal":{"variant":"String","value":"x"}}}]}})"},
      {"((a))", R"($a)"},
      {"[1, -2.5, 3]", R"({"kind":{"variant":"VectorLiteral","values":[1,-2.5,3]}})"},
  });
}

TEST(DocExprTest, FloatLiteralText) {
  runExprCases({
      {"100000000000000000.0", R"(#1e+17)"},
      {"10000000000000000.0", R"(#10000000000000000.0)"},
      {"12345678901234567.0", R"(#12345678901234568.0)"},
      {"123456789012345678.5", R"(#1.2345678901234568e+17)"},
      {"0.0000001", R"(#0.0000001)"},
      {"0.00000015", R"(#0.00000015)"},
      {"0.00000001", R"(#1e-8)"},
      {"0.00000000025", R"(#2.5e-10)"},
      {"0.000001", R"(#0.000001)"},
      {"2.50", R"(#2.5)"},
      {"100.0", R"(#100.0)"},
      {"0.1", R"(#0.1)"},
      {"0.0", R"(#0.0)"},
      {"12345.678", R"(#12345.678)"},
  });
}

TEST(DocExprTest, FloatTextOfEveryMagnitude) {
  struct Case {
    double value;
    const char* text;
  };
  const double inf = std::numeric_limits<double>::infinity();
  const Case cases[] = {
      {1e17, "1e+17"},
      {1e16, "10000000000000000.0"},
      {1e-7, "0.0000001"},
      {1e-8, "1e-8"},
      {2.5, "2.5"},
      {2.5e-10, "2.5e-10"},
      {-2.5e-10, "-2.5e-10"},
      {1e100, "1e+100"},
      {1e-100, "1e-100"},
      {1.5e300, "1.5e+300"},
      {5e-324, "5e-324"},
      {1.7976931348623157e308, "1.7976931348623157e+308"},
      {0.1 + 0.2, "0.30000000000000004"},
      {-1.5, "-1.5"},
      {123.0, "123.0"},
      {0.0, "0.0"},
      {-0.0, "-0.0"},
      {std::nan(""), "nan"},
      {-std::nan(""), "nan"},
      {inf, "inf"},
      {-inf, "-inf"},
  };
  for (const Case& c : cases) {
    char buffer[vellum::sql::kFloatTextCapacity];
    std::size_t length = vellum::sql::formatFloatText(c.value, buffer);
    EXPECT_EQ(std::string(buffer, length), c.text) << "value " << c.value;
  }
}

// The digits of a number's text without sign, point, exponent, and leading
// or trailing zeros.
std::string significantDigits(std::string_view text) {
  std::string digits;
  for (char c : text.substr(0, text.find('e'))) {
    if (c >= '0' && c <= '9') digits += c;
  }
  digits.erase(0, digits.find_first_not_of('0'));
  digits.erase(digits.find_last_not_of('0') + 1);
  return digits;
}

TEST(DocExprTest, FloatTextIsTheShortestThatReadsBack) {
  // Decimals of 1 to 17 digits with the point anywhere, and any bits.
  std::mt19937_64 random(20261209);
  int failures = 0;
  for (int i = 0; i < 100000 && failures < 5; ++i) {
    double value;
    if (i % 2 == 0) {
      std::string decimal;
      for (int d = static_cast<int>(random() % 17); d >= 0; --d) decimal += static_cast<char>('0' + random() % 10);
      decimal += 'e';
      decimal += std::to_string(static_cast<int>(random() % 50) - 30);
      value = std::strtod(decimal.c_str(), nullptr);
    } else {
      const std::uint64_t bits = random();
      std::memcpy(&value, &bits, sizeof value);
      if (!std::isfinite(value)) continue;
    }
    char buffer[vellum::sql::kFloatTextCapacity];
    const std::string text(buffer, vellum::sql::formatFloatText(value, buffer));
    char shortest[32];
    const std::string_view expected(
        shortest, static_cast<std::size_t>(
                      std::to_chars(shortest, shortest + sizeof shortest, value, std::chars_format::scientific).ptr -
                      shortest));
    const bool readsBack = std::strtod(text.c_str(), nullptr) == value;
    if (!readsBack || significantDigits(text) != significantDigits(expected)) {
      ++failures;
      ADD_FAILURE() << "value " << expected << " gave " << text;
    }
  }
}

TEST(DocExprTest, FloatTextDoesNotDependOnTheRoundingMode) {
  std::mt19937_64 random(7);
  std::vector<double> values;
  std::vector<std::string> nearest;
  for (int i = 0; i < 20000; ++i) {
    // Any 53 bits, from about 1e-20 to 1e13.
    values.push_back(std::ldexp(static_cast<double>(random() >> 11), static_cast<int>(random() % 110) - 120));
    char buffer[vellum::sql::kFloatTextCapacity];
    nearest.emplace_back(buffer, vellum::sql::formatFloatText(values.back(), buffer));
  }
  for (int mode : {FE_UPWARD, FE_DOWNWARD, FE_TOWARDZERO}) {
    std::vector<std::string> texts;
    ASSERT_EQ(std::fesetround(mode), 0);
    for (double value : values) {
      char buffer[vellum::sql::kFloatTextCapacity];
      texts.emplace_back(buffer, vellum::sql::formatFloatText(value, buffer));
    }
    std::fesetround(FE_TONEAREST);
    for (std::size_t i = 0; i < values.size(); ++i) {
      ASSERT_EQ(texts[i], nearest[i]) << "rounding mode " << mode;
    }
  }
}

TEST(DocExprTest, BinaryOperators) {
  runExprCases({
      {"a = b", R"({"kind":{"variant":"BinaryOp","left":$a,"op":"Eq","right":$b}})"},
      {"a <> b", R"({"kind":{"variant":"BinaryOp","left":$a,"op":"Neq","right":$b}})"},
      {"a != b", R"({"kind":{"variant":"BinaryOp","left":$a,"op":"Neq","right":$b}})"},
      {"a < b", R"({"kind":{"variant":"BinaryOp","left":$a,"op":"Lt","right":$b}})"},
      {"a <= b", R"({"kind":{"variant":"BinaryOp","left":$a,"op":"LtEq","right":$b}})"},
      {"a > b", R"({"kind":{"variant":"BinaryOp","left":$a,"op":"Gt","right":$b}})"},
      {"a >= b", R"({"kind":{"variant":"BinaryOp","left":$a,"op":"GtEq","right":$b}})"},
      {"a + b", R"({"kind":{"variant":"BinaryOp","left":$a,"op":"Add","right":$b}})"},
      {"a - b", R"({"kind":{"variant":"BinaryOp","left":$a,"op":"Sub","right":$b}})"},
      {"a * b", R"({"kind":{"variant":"BinaryOp","left":$a,"op":"Mul","right":$b}})"},
      {"a / b", R"({"kind":{"variant":"BinaryOp","left":$a,"op":"Div","right":$b}})"},
      {"a % b", R"({"kind":{"variant":"BinaryOp","left":$a,"op":"Mod","right":$b}})"},
      {"a || b", R"({"kind":{"variant":"BinaryOp","left":$a,"op":"StringConcat","right":$b}})"},
      {"a AND b", R"({"kind":{"variant":"BinaryOp","left":$a,"op":"And","right":$b}})"},
      {"a OR b", R"({"kind":{"variant":"BinaryOp","left":$a,"op":"Or","right":$b}})"},
      {"a & b", R"({"kind":{"variant":"BinaryOp","left":$a,"op":"BitAnd","right":$b}})"},
      {"a | b", R"({"kind":{"variant":"BinaryOp","left":$a,"op":"BitOr","right":$b}})"},
      {"a ^ b", R"({"kind":{"variant":"BinaryOp","left":$a,"op":"BitXor","right":$b}})"},
      {"a << b", R"({"kind":{"variant":"BinaryOp","left":$a,"op":"ShiftLeft","right":$b}})"},
      {"a >> b", R"({"kind":{"variant":"BinaryOp","left":$a,"op":"ShiftRight","right":$b}})"},
      {"a - b - c", R"({"kind":{"variant":"BinaryOp","left":{"kind":{"variant":"BinaryOp","left":$a,"op":"Sub","right":$b}},
                        "op":"Sub","right":$c}})"},
      {"a OR b AND c", R"({"kind":{"variant":"BinaryOp","left":$a,"op":"Or",
                           "right":{"kind":{"variant":"BinaryOp","left":$b,"op":"And","right":$c}}}})"},
      {"-a * b", R"({"kind":{"variant":"BinaryOp","left":{"kind":{"variant":"UnaryOp","op":"Minus","operand":$a}},
                     "op":"Mul","right":$b}})"},
  });
}

TEST(DocExprTest, Predicates) {
  runExprCases({
      {"x BETWEEN 1 AND 2", R"({"kind":{"variant":"Between","expr":$x,"low":#1,"high":#2,"negated":false}})"},
      {"x NOT BETWEEN 1 AND 2", R"({"kind":{"variant":"Between","expr":$x,"low":#1,"high":#2,"negated":true}})"},
      {"x IN (1, 2)", R"({"kind":{"variant":"InList","expr":$x,"list":[#1,#2],"negated":false}})"},
      {"x NOT IN (1, 2)", R"({"kind":{"variant":"InList","expr":$x,"list":[#1,#2],"negated":true}})"},
      {"x IS NULL", R"({"kind":{"variant":"IsNull","expr":$x,"negated":false}})"},
      {"x IS NOT NULL", R"({"kind":{"variant":"IsNull","expr":$x,"negated":true}})"},
      {"a LIKE 'x%'", R"({"kind":{"variant":"Like","expr":$a,
                          "pattern":{"kind":{"variant":"Literal","literal":{"variant":"String","value":"x%"}}},
                          "escape":null,"negated":false,"kind":"Like"}})"},
      {"a NOT LIKE p ESCAPE e", R"({"kind":{"variant":"Like","expr":$a,"pattern":$p,"escape":$e,"negated":true,"kind":"Like"}})"},
      {"a ILIKE p", R"({"kind":{"variant":"Like","expr":$a,"pattern":$p,"escape":null,"negated":false,"kind":"ILike"}})"},
      {"a NOT ILIKE p ESCAPE e", R"({"kind":{"variant":"Like","expr":$a,"pattern":$p,"escape":$e,"negated":true,"kind":"ILike"}})"},
      {"a GLOB p", R"({"kind":{"variant":"Like","expr":$a,"pattern":$p,"escape":null,"negated":false,"kind":"Glob"}})"},
      {"a NOT GLOB p", R"({"kind":{"variant":"Like","expr":$a,"pattern":$p,"escape":null,"negated":true,"kind":"Glob"}})"},
      {"a SIMILAR TO p", R"({"kind":{"variant":"Like","expr":$a,"pattern":$p,"escape":null,"negated":false,"kind":"SimilarTo"}})"},
      {"a NOT SIMILAR TO p", R"({"kind":{"variant":"Like","expr":$a,"pattern":$p,"escape":null,"negated":true,"kind":"SimilarTo"}})"},
      {"x IS TRUE", R"({"kind":{"variant":"TruthPredicate","expr":$x,"value":"True","negated":false}})"},
      {"x IS NOT false", R"({"kind":{"variant":"TruthPredicate","expr":$x,"value":"False","negated":true}})"},
      {"x IS UnKnown", R"({"kind":{"variant":"TruthPredicate","expr":$x,"value":"Unknown","negated":false}})"},
      {"a IS DISTINCT FROM b", R"({"kind":{"variant":"IsDistinctFrom","left":$a,"right":$b,"negated":false}})"},
      {"a IS NOT DISTINCT FROM b", R"({"kind":{"variant":"IsDistinctFrom","left":$a,"right":$b,"negated":true}})"},
      {"a NOT IS NULL", R"({"kind":{"variant":"IsNull","expr":{"kind":{"variant":"UnaryOp","op":"Not","operand":$a}},
                            "negated":false}})"},
  });
}

TEST(DocExprTest, JsonArrowsAndSubscriptsAreCalls) {
  runExprCases({
      {"a->'k'->>'j'",
       R"({"kind":{"variant":"FunctionCall","name":"JSONB_EXTRACT_TEXT","args":[
            {"kind":{"variant":"FunctionCall","name":"JSONB_EXTRACT","args":[$a,
              {"kind":{"variant":"Literal","literal":{"variant":"String","value":"k"}}}],
              "distinct":false,"star":false,"over":null}},
            {"kind":{"variant":"Literal","literal":{"variant":"String","value":"j"}}}],
          "distinct":false,"star":false,"over":null}})"},
      {"a #> p", R"({"kind":{"variant":"FunctionCall","name":"JSONB_EXTRACT_PATH","args":[$a,$p],"distinct":false,"star":false,"over":null}})"},
      {"a #>> p", R"({"kind":{"variant":"FunctionCall","name":"JSONB_EXTRACT_PATH_TEXT","args":[$a,$p],"distinct":false,"star":false,"over":null}})"},
      {"a[1][2:3]",
       R"({"kind":{"variant":"FunctionCall","name":"ARRAY_SLICE","args":[
            {"kind":{"variant":"FunctionCall","name":"ARRAY_SUBSCRIPT","args":[$a,#1],"distinct":false,"star":false,"over":null}},
            #2,#3],"distinct":false,"star":false,"over":null}})"},
      {"a[:2]", R"({"kind":{"variant":"FunctionCall","name":"ARRAY_SLICE","args":[$a,
                    {"kind":{"variant":"Literal","literal":{"variant":"Null"}}},#2],"distinct":false,"star":false,"over":null}})"},
  });
}

TEST(DocExprTest, FunctionCalls) {
  runExprCases({
      {"count(*)", R"({"kind":{"variant":"FunctionCall","name":"count","args":[],"distinct":false,"star":true,"over":null}})"},
      {"f()", R"({"kind":{"variant":"FunctionCall","name":"f","args":[],"distinct":false,"star":false,"over":null}})"},
      {"count(DISTINCT x)", R"({"kind":{"variant":"FunctionCall","name":"count","args":[$x],"distinct":true,"star":false,"over":null}})"},
      {"coalesce(a, b, 0)", R"({"kind":{"variant":"FunctionCall","name":"coalesce","args":[$a,$b,#0],"distinct":false,"star":false,"over":null}})"},
      {"CURRENT_DATE", R"({"kind":{"variant":"FunctionCall","name":"CURRENT_DATE","args":[],"distinct":false,"star":false,"over":null}})"},
      {"substring(s FROM 2 FOR 3)", R"({"kind":{"variant":"FunctionCall","name":"SUBSTR","args":[$s,#2,#3],"distinct":false,"star":false,"over":null}})"},
      {"position('a' IN s)", R"({"kind":{"variant":"FunctionCall","name":"STRPOS","args":[$s,
                                 {"kind":{"variant":"Literal","literal":{"variant":"String","value":"a"}}}],"distinct":false,"star":false,"over":null}})"},
      {"extract(YEAR FROM d)", R"({"kind":{"variant":"FunctionCall","name":"extract","args":[
                                   {"kind":{"variant":"Literal","literal":{"variant":"String","value":"year"}}},$d],"distinct":false,"star":false,"over":null}})"},
      {"ARRAY[1, 2]", R"({"kind":{"variant":"FunctionCall","name":"ARRAY_VALUE","args":[#1,#2],"distinct":false,"star":false,"over":null}})"},
      {"string_agg(x, ',' ORDER BY y)",
       R"({"kind":{"variant":"FunctionCall","name":"string_agg","args":[$x,{"kind":{"variant":"Literal","literal":{"variant":"String","value":","}}}],
            "distinct":false,"star":false,"order_by":[{"expr":$y,"asc":null,"nulls_first":null}],"within_group":[],"filter":null,"over":null}})"},
      {"percentile_cont(0.5) WITHIN GROUP (ORDER BY x DESC)",
       R"({"kind":{"variant":"FunctionCall","name":"percentile_cont","args":[#0.5],"distinct":false,"star":false,
            "order_by":[],"within_group":[{"expr":$x,"asc":false,"nulls_first":null}],"filter":null,"over":null}})"},
      {"count(*) FILTER (WHERE x > 0)",
       R"({"kind":{"variant":"FunctionCall","name":"count","args":[],"distinct":false,"star":true,"order_by":[],"within_group":[],
            "filter":{"kind":{"variant":"BinaryOp","left":$x,"op":"Gt","right":#0}},"over":null}})"},
      {"sum(x) FILTER (WHERE ok) OVER w",
       R"({"kind":{"variant":"FunctionCall","name":"sum","args":[$x],"distinct":false,"star":false,"order_by":[],"within_group":[],
            "filter":$ok,"over":{"base":"w","partition_by":[],"order_by":[],"frame":null}}})"},
  });
}

TEST(DocExprTest, WindowDefinitionsAndFrames) {
  runExprCases({
      {"rank() OVER ()", R"({"kind":{"variant":"FunctionCall","name":"rank","args":[],"distinct":false,"star":false,
                             "over":{"base":null,"partition_by":[],"order_by":[],"frame":null}}})"},
      {"sum(x) OVER (PARTITION BY a, b ORDER BY c ASC NULLS FIRST, d ROWS 5 PRECEDING)",
       R"({"kind":{"variant":"FunctionCall","name":"sum","args":[$x],"distinct":false,"star":false,
            "over":{"base":null,"partition_by":[$a,$b],
                    "order_by":[{"expr":$c,"asc":true,"nulls_first":true},{"expr":$d,"asc":null,"nulls_first":null}],
                    "frame":{"units":"Rows","start_bound":{"variant":"Preceding","value":5},"end_bound":{"variant":"CurrentRow"}}}}})"},
      {"sum(x) OVER (w ORDER BY c DESC NULLS LAST RANGE BETWEEN UNBOUNDED PRECEDING AND 3 FOLLOWING)",
       R"({"kind":{"variant":"FunctionCall","name":"sum","args":[$x],"distinct":false,"star":false,
            "over":{"base":"w","partition_by":[],"order_by":[{"expr":$c,"asc":false,"nulls_first":false}],
                    "frame":{"units":"Range","start_bound":{"variant":"UnboundedPreceding"},"end_bound":{"variant":"Following","value":3}}}}})"},
      {"f() OVER (ROWS BETWEEN CURRENT ROW AND UNBOUNDED FOLLOWING)",
       R"({"kind":{"variant":"FunctionCall","name":"f","args":[],"distinct":false,"star":false,
            "over":{"base":null,"partition_by":[],"order_by":[],
                    "frame":{"units":"Rows","start_bound":{"variant":"CurrentRow"},"end_bound":{"variant":"UnboundedFollowing"}}}}})"},
      {"f() OVER (ROWS BETWEEN 18446744073709551615 PRECEDING AND CURRENT ROW)",
       R"({"kind":{"variant":"FunctionCall","name":"f","args":[],"distinct":false,"star":false,
            "over":{"base":null,"partition_by":[],"order_by":[],
                    "frame":{"units":"Rows","start_bound":{"variant":"Preceding","value":18446744073709551615},"end_bound":{"variant":"CurrentRow"}}}}})"},
  });
}

TEST(DocExprTest, CaseAndCast) {
  runExprCases({
      {"CASE WHEN a THEN 1 END", R"({"kind":{"variant":"Case","operand":null,"branches":[{"when":$a,"then":#1}],"else_expr":null}})"},
      {"CASE a WHEN 1 THEN b WHEN 2 THEN c ELSE d END",
       R"({"kind":{"variant":"Case","operand":$a,"branches":[{"when":#1,"then":$b},{"when":#2,"then":$c}],"else_expr":$d}})"},
      {"CAST(x AS varchar)", R"({"kind":{"variant":"Cast","expr":$x,"target_type":{"variant":"Text"}}})"},
      {"TRY_CAST(x AS INT)", R"({"kind":{"variant":"TryCast","expr":$x,"target_type":{"variant":"Int"}}})"},
      {"DATE '2024-01-01'", R"({"kind":{"variant":"Cast","expr":{"kind":{"variant":"Literal","literal":{"variant":"String","value":"2024-01-01"}}},
                                "target_type":{"variant":"Date"}}})"},
      {"json '{}'", R"({"kind":{"variant":"Cast","expr":{"kind":{"variant":"Literal","literal":{"variant":"String","value":"{}"}}},
                        "target_type":{"variant":"Json"}}})"},
      {"DECIMAL '0012.50'", R"({"kind":{"variant":"Cast","expr":{"kind":{"variant":"Literal","literal":{"variant":"String","value":"0012.50"}}},
                                "target_type":{"variant":"Decimal","precision":4,"scale":2}}})"},
  });
}

// CAST(x AS <type>) and the target type it writes.
TEST(DocExprTest, DataTypes) {
  struct Case {
    const char* type;
    const char* expected;
  };
  const Case cases[] = {
      {"TEXT", R"({"variant":"Text"})"},
      {"varchar(255)", R"({"variant":"Text"})"},
      {"CHAR", R"({"variant":"Text"})"},
      {"JSON", R"({"variant":"Json"})"},
      {"jsonb", R"({"variant":"Json"})"},
      {"SMALLINT", R"({"variant":"Int"})"},
      {"int", R"({"variant":"Int"})"},
      {"INTEGER", R"({"variant":"Integer"})"},
      {"BIGINT", R"({"variant":"BigInt"})"},
      {"smallserial", R"({"variant":"SmallSerial"})"},
      {"SERIAL", R"({"variant":"Serial"})"},
      {"BIGSERIAL", R"({"variant":"BigSerial"})"},
      {"REAL", R"({"variant":"Float"})"},
      {"FLOAT", R"({"variant":"Float"})"},
      {"DOUBLE", R"({"variant":"Double"})"},
      {"BOOLEAN", R"({"variant":"Boolean"})"},
      {"bool", R"({"variant":"Bool"})"},
      {"DATE", R"({"variant":"Date"})"},
      {"TIME", R"({"variant":"Time"})"},
      {"TIMESTAMP", R"({"variant":"Timestamp"})"},
      {"INTERVAL", R"({"variant":"Interval"})"},
      {"BLOB", R"({"variant":"Blob"})"},
      {"geometry", R"({"variant":"geometry"})"},
      {"Uuid", R"({"variant":"Uuid"})"},
      {"NUMERIC", R"({"variant":"Decimal","precision":38,"scale":0})"},
      {"DECIMAL", R"({"variant":"Decimal","precision":38,"scale":0})"},
      {"DECIMAL(10, 2)", R"({"variant":"Decimal","precision":10,"scale":2})"},
      {"decimal(7)", R"({"variant":"Decimal","precision":7,"scale":0})"},
      {"DECIMAL(1, 0)", R"({"variant":"Decimal","precision":1,"scale":0})"},
      {"DECIMAL(38, 38)", R"({"variant":"Decimal","precision":38,"scale":38})"},
      {"VECTOR(3)", R"({"variant":"Vector","dimension":3,"metric":null})"},
      {"VECTOR(768, COSINE)", R"({"variant":"Vector","dimension":768,"metric":"Cosine"})"},
      {"vector(2, l2)", R"({"variant":"Vector","dimension":2,"metric":"L2"})"},
      {"VECTOR(2, Inner)", R"({"variant":"Vector","dimension":2,"metric":"Inner"})"},
      {"VECTOR(3, dot)", R"({"variant":"Vector","dimension":3,"metric":"dot"})"},
      {"VECTOR(4294967295)", R"({"variant":"Vector","dimension":4294967295,"metric":null})"},
      {"ARRAY<INT>", R"({"variant":"Array","element":{"variant":"Int"}})"},
      {"LIST<text>", R"({"variant":"Array","element":{"variant":"Text"}})"},
      {"MAP<TEXT, ARRAY<BIGINT>>", R"({"variant":"Map","key":{"variant":"Text"},"value":{"variant":"Array","element":{"variant":"BigInt"}}})"},
      {"STRUCT<a INT, b geometry>", R"({"variant":"Struct","fields":[{"name":"a","data_type":{"variant":"Int"}},
                                        {"name":"b","data_type":{"variant":"geometry"}}]})"},
      {"ARRAY<MAP<TEXT, ARRAY<INT>>>", R"({"variant":"Array","element":{"variant":"Map","key":{"variant":"Text"},
                                           "value":{"variant":"Array","element":{"variant":"Int"}}}})"},
  };
  for (const Case& c : cases) {
    std::string expected = R"({"kind":{"variant":"Cast","expr":$x,"target_type":)" + std::string(c.expected) + "}}";
    EXPECT_EQ(exprJson("CAST(x AS " + std::string(c.type) + ")"), expandExpected(expected)) << c.type;
  }
}

TEST(DocExprTest, DataTypeRangeErrors) {
  const std::string decimal = "error: DECIMAL requires 1 <= precision <= 38 and 0 <= scale <= precision";
  runExprCases({
      {"CAST(x AS DECIMAL(39))", decimal},
      {"CAST(x AS DECIMAL(0))", decimal},
      {"CAST(x AS DECIMAL(5, 6))", decimal},
      {"CAST(x AS NUMERIC(50, 2))", decimal},
      {"CAST(x AS DECIMAL(a, 39))", decimal},
      {"CAST(x AS VECTOR(4294967296))", "error: VECTOR dimension must be between 0 and 4294967295"},
  });
  // The whole document fails, not only the expression.
  EXPECT_EQ(sqlDocJson("SELECT 1; SELECT CAST(x AS DECIMAL(39))"), decimal);
}

TEST(DocExprTest, Subqueries) {
  runExprCases({
      {"(SELECT 1)", R"({"kind":{"variant":"ScalarSubquery","subquery":{"kind":)" + kSelect1 + "}}}"},
      {"EXISTS (SELECT 1)", R"({"kind":{"variant":"Exists","subquery":{"kind":)" + kSelect1 + R"(},"negated":false}})"},
      {"NOT EXISTS (SELECT 1)", R"({"kind":{"variant":"Exists","subquery":{"kind":)" + kSelect1 + R"(},"negated":true}})"},
      {"x IN (SELECT 1)", R"({"kind":{"variant":"InSubquery","expr":$x,"subquery":{"kind":)" + kSelect1 + R"(},"negated":false}})"},
      {"x NOT IN (VALUES (1))",
       R"({"kind":{"variant":"InSubquery","expr":$x,"subquery":{"kind":{"variant":"Values","rows":[[#1]],"set_operations":[],
            "order_by":[],"limit":null,"offset":null,"limit_with_ties":false}},"negated":true}})"},
      {"x = ANY (SELECT 1)", R"({"kind":{"variant":"Quantified","expr":$x,"op":"Eq","quantifier":"Any","subquery":{"kind":)" + kSelect1 + "}}}"},
      {"x >= ALL (SELECT 1)", R"({"kind":{"variant":"Quantified","expr":$x,"op":"GtEq","quantifier":"All","subquery":{"kind":)" + kSelect1 + "}}}"},
      {"x <> SOME (SELECT 1)", R"({"kind":{"variant":"Quantified","expr":$x,"op":"Neq","quantifier":"Any","subquery":{"kind":)" + kSelect1 + "}}}"},
      {"x <= ANY (SELECT 1)", R"({"kind":{"variant":"Quantified","expr":$x,"op":"LtEq","quantifier":"Any","subquery":{"kind":)" + kSelect1 + "}}}"},
  });
}

// Spans of the envelopes themselves: every expression map carries the span of
// the node that was written; operators built without a position carry their
// parent's.
TEST(DocExprTest, EnvelopeSpans) {
  auto span = [](int l1, int c1, int l2, int c2) {
    return R"("span":{"start":{"line":)" + std::to_string(l1) + R"(,"column":)" + std::to_string(c1) +
           R"(},"end":{"line":)" + std::to_string(l2) + R"(,"column":)" + std::to_string(c2) + "}}";
  };
  // SELECT a+1 AS x: the operator takes the alias node's span (col 17).
  EXPECT_EQ(exprJson("a + 1 AS x", true),
            compactJson(R"({"kind":{"variant":"BinaryOp",
              "left":{"kind":{"variant":"ColumnRef","table":null,"column":"a"},)" + span(1, 8, 1, 8) + R"(},
              "op":"Add",
              "right":{"kind":{"variant":"Literal","literal":{"variant":"Number","value":"1"}},)" + span(1, 12, 1, 12) + R"(}},)" +
                        span(1, 17, 1, 17) + "}"));
  // A call spans its name; the JSON arrow call spans its operands.
  EXPECT_EQ(exprJson("f(b)->'k'", true),
            compactJson(R"({"kind":{"variant":"FunctionCall","name":"JSONB_EXTRACT","args":[
              {"kind":{"variant":"FunctionCall","name":"f","args":[
                 {"kind":{"variant":"ColumnRef","table":null,"column":"b"},)" + span(1, 10, 1, 10) + R"(}],
                 "distinct":false,"star":false,"over":null},)" + span(1, 8, 1, 8) + R"(},
              {"kind":{"variant":"Literal","literal":{"variant":"String","value":"k"}},)" + span(1, 14, 1, 16) + R"(}],
              "distinct":false,"star":false,"over":null},)" + span(1, 8, 1, 16) + "}"));
  // An arrow call whose right operand had no position when the call was built
  // ends where its last token ends; the operand then takes the call's span.
  // With the left
  // operand in that state the call itself has no start and takes its parent's
  // (the SELECT keyword, through the projection list).
  const std::string concatBC = R"({"kind":{"variant":"BinaryOp",
      "left":{"kind":{"variant":"ColumnRef","table":null,"column":"b"},)" + span(1, 14, 1, 14) + R"(},"op":"StringConcat",
      "right":{"kind":{"variant":"ColumnRef","table":null,"column":"c"},)" + span(1, 19, 1, 19) + R"(}},)";
  EXPECT_EQ(exprJson("a -> (b || c)", true),
            compactJson(R"({"kind":{"variant":"FunctionCall","name":"JSONB_EXTRACT","args":[
              {"kind":{"variant":"ColumnRef","table":null,"column":"a"},)" + span(1, 8, 1, 8) + "}," + concatBC +
                        span(1, 8, 1, 20) + R"(}],"distinct":false,"star":false,"over":null},)" + span(1, 8, 1, 20) + "}"));
  const std::string concatAB = R"({"kind":{"variant":"BinaryOp",
      "left":{"kind":{"variant":"ColumnRef","table":null,"column":"a"},)" + span(1, 9, 1, 9) + R"(},"op":"StringConcat",
      "right":{"kind":{"variant":"ColumnRef","table":null,"column":"b"},)" + span(1, 14, 1, 14) + R"(}},)";
  EXPECT_EQ(exprJson("(a || b) -> 'x'", true),
            compactJson(R"({"kind":{"variant":"FunctionCall","name":"JSONB_EXTRACT","args":[)" + concatAB + span(1, 1, 1, 6) +
                        R"(},{"kind":{"variant":"Literal","literal":{"variant":"String","value":"x"}},)" + span(1, 20, 1, 22) +
                        R"(}],"distinct":false,"star":false,"over":null},)" + span(1, 1, 1, 6) + "}"));
}

}  // namespace
}  // namespace vellum_test
