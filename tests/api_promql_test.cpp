// PromQL through the C interface: documents and error records end to end,
// operator chains as long as the input on a thread with a 1 MiB stack, the
// document size limit, and the real-world corpus.
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include <gtest/gtest.h>
#include <msgpack.hpp>
#include <nlohmann/json.hpp>

#include "support/msgpack_json.h"
#include "support/threads.h"
#include "vellum_sql_parser.h"

namespace {

using vellum_test::compactJson;
using vellum_test::JsonOptions;
using vellum_test::msgpackToJson;

// The document as JSON (spans left out unless asked for), or "error: TEXT";
// checks the record's fields on the way and releases its buffers.
std::string run(const std::string& text, bool withSpans = false) {
  ParseResult r = vellum_parse_promql(text.c_str(), 0);
  std::string out;
  if (r.status == 0) {
    EXPECT_NE(r.data, nullptr);
    EXPECT_GT(r.data_len, 0);
    EXPECT_EQ(r.error, nullptr);
    EXPECT_EQ(r.error_len, 0);
    JsonOptions options;
    if (!withSpans) options.dropKeys = {"span"};
    out = msgpackToJson(r.data, static_cast<std::size_t>(r.data_len), options);
  } else {
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.data, nullptr);
    EXPECT_EQ(r.data_len, 0);
    EXPECT_NE(r.error, nullptr);
    if (r.error != nullptr) {
      EXPECT_EQ(r.error[r.error_len], '\0');
      out = "error: " + std::string(r.error, static_cast<std::size_t>(r.error_len));
    }
  }
  vellum_free_buffer(r.data);
  vellum_free_buffer(r.error);
  return out;
}

TEST(ApiPromQlTest, Documents) {
  struct Case {
    std::string input;
    std::string expected;
  };
  const std::vector<Case> cases = {
      {"sum by (job) (rate(http_requests_total{code=~\"5..\"}[5m]))", compactJson(R"(
        {"kind":{"variant":"Aggregate","op":"sum",
          "expr":{"kind":{"variant":"FunctionCall","name":"rate","args":[
            {"kind":{"variant":"MatrixSelector",
              "selector":{"kind":{"variant":"VectorSelector","metric":"http_requests_total",
                "matchers":[{"name":"code","op":"Regex","value":"5.."}],"offset":null}},
              "range":{"raw":"5m","milliseconds":300000},"offset":null}}]}},
          "grouping":["job"],"without":false}})")},
      {"histogram_quantile(0.9, sum without (instance) (rate(x_bucket[1m] offset -30s)))\n", compactJson(R"(
        {"kind":{"variant":"FunctionCall","name":"histogram_quantile","args":[
          {"kind":{"variant":"NumberLiteral","value":"0.9"}},
          {"kind":{"variant":"Aggregate","op":"sum",
            "expr":{"kind":{"variant":"FunctionCall","name":"rate","args":[
              {"kind":{"variant":"MatrixSelector",
                "selector":{"kind":{"variant":"VectorSelector","metric":"x_bucket","matchers":[],"offset":null}},
                "range":{"raw":"1m","milliseconds":60000},
                "offset":{"raw":"-30s","milliseconds":-30000}}}]}},
            "grouping":["instance"],"without":true}}]}})")},
      {"-x % 2", compactJson(R"(
        {"kind":{"variant":"BinaryOp",
          "left":{"kind":{"variant":"UnaryOp","op":"Minus",
            "expr":{"kind":{"variant":"VectorSelector","metric":"x","matchers":[],"offset":null}}}},
          "op":"Mod",
          "right":{"kind":{"variant":"NumberLiteral","value":"2"}}}})")},
      {"sum(\n  rate(x[5m]", "error: PromQL parse error at line 2, col 13, offset 17 near '<eof>': "
                             "expected ')' after function arguments"},
      {"x offset 5mm", "error: PromQL parse error at line 1, col 10, offset 9 near '5mm': invalid duration"},
      {"1e999", R"({"kind":{"variant":"NumberLiteral","value":"1e999"}})"},
  };
  for (const Case& c : cases) EXPECT_EQ(run(c.input), c.expected) << "input: " << c.input;

  // Columns count bytes: the two-byte character takes two.
  EXPECT_EQ(run("{a=\"\xc3\xa9\"}", true), compactJson(R"(
    {"kind":{"variant":"VectorSelector","metric":null,"matchers":[
      {"name":"a","op":"Equal","value":")" "\xc3\xa9" R"(",
       "span":{"start":{"line":1,"column":2,"offset":1},"end":{"line":1,"column":8,"offset":7}}}],
      "offset":null},
     "span":{"start":{"line":1,"column":1,"offset":0},"end":{"line":1,"column":9,"offset":8}}})"));
}

// ---------------------------------------------------------------------------
// Operator chains as long as the input.

#ifdef VELLUM_NO_SANITIZER
constexpr std::size_t kChainBytes = 4 * 1024 * 1024;
#else
// Still 32768 levels, far deeper than a recursive walk could go on 1 MiB.
constexpr std::size_t kChainBytes = 64 * 1024;
#endif

// `first` followed by `op + operand` up to `bytes` bytes.
std::string chain(std::size_t bytes, const std::string& first, const std::string& link) {
  std::string text;
  text.reserve(bytes);
  text += first;
  while (text.size() + link.size() <= bytes) text += link;
  return text;
}

// Walks a document with msgpack-c's parser, which keeps its own stack, so
// that a document two million levels deep can be checked without recursion.
struct ShapeVisitor : msgpack::null_visitor {
  std::size_t depth = 0;
  std::size_t maxDepth = 0;
  std::size_t maps = 0;
  std::size_t binaryOps = 0;
  std::size_t leaves = 0;
  std::string leafVariant;
  bool afterVariantKey = false;
  bool inKey = false;

  bool start_map(std::uint32_t) {
    ++maps;
    if (++depth > maxDepth) maxDepth = depth;
    return true;
  }
  bool end_map() {
    --depth;
    return true;
  }
  bool start_map_key() {
    inKey = true;
    return true;
  }
  bool end_map_key() {
    inKey = false;
    return true;
  }
  bool visit_str(const char* v, std::uint32_t size) {
    std::string_view s(v, size);
    if (inKey) {
      afterVariantKey = s == "variant";
      return true;
    }
    if (afterVariantKey) {
      if (s == "BinaryOp") {
        ++binaryOps;
      } else if (s == leafVariant) {
        ++leaves;
      }
      afterVariantKey = false;
    }
    return true;
  }
  void parse_error(std::size_t, std::size_t) { ADD_FAILURE() << "msgpack-c: parse error"; }
  void insufficient_bytes(std::size_t, std::size_t) { ADD_FAILURE() << "msgpack-c: document is cut short"; }
};

// Parses `text` on a thread with a 1 MiB stack and checks that the document
// is one left-deep chain of `terms` leaves of kind `leafVariant`.
void expectChainDocument(const std::string& text, std::size_t terms, const std::string& leafVariant) {
  ParseResult r{};
  vellum_test::runOnThreadWithStack(vellum_test::kOneMiB, [&] { r = vellum_parse_promql(text.c_str(), 0); });
  ASSERT_EQ(r.status, 0) << (r.error != nullptr ? r.error : "");
  ShapeVisitor shape;
  shape.leafVariant = leafVariant;
  std::size_t offset = 0;
  bool complete = msgpack::parse(reinterpret_cast<const char*>(r.data), static_cast<std::size_t>(r.data_len), offset,
                                 shape);
  EXPECT_TRUE(complete);
  EXPECT_EQ(offset, static_cast<std::size_t>(r.data_len));
  EXPECT_EQ(shape.binaryOps, terms - 1);
  EXPECT_EQ(shape.leaves, terms);
  // Per level an envelope and its node map; the innermost leaf's envelope,
  // node map and span with its position maps are three more levels.
  EXPECT_EQ(shape.maxDepth, 2 * (terms - 1) + 3);
  vellum_free_buffer(r.data);
}

TEST(ApiPromQlTest, SumChainAsLongAsTheInputOnASmallStack) {
  const std::string text = chain(kChainBytes, "1", "+1");
  expectChainDocument(text, (text.size() + 1) / 2, "NumberLiteral");
}

TEST(ApiPromQlTest, ProductChainAsLongAsTheInputOnASmallStack) {
  const std::string text = chain(kChainBytes, "x", "*x");
  expectChainDocument(text, (text.size() + 1) / 2, "VectorSelector");
}

TEST(ApiPromQlTest, ErrorAtTheEndOfALongChain) {
  // The whole tree is built before the error and goes with the arena.
  std::string text = chain(kChainBytes, "1", "-1") + "-";
  std::string expected = "error: PromQL parse error at line 1, col " + std::to_string(text.size() + 1) + ", offset " +
                         std::to_string(text.size()) + " near '<eof>': expected expression";
  std::string got;
  vellum_test::runOnThreadWithStack(vellum_test::kOneMiB, [&] { got = run(text); });
  EXPECT_EQ(got, expected);
}

TEST(ApiPromQlTest, LongArgumentListsAndNestedChains) {
  // Arguments are a flat list; chains inside parentheses inside chains
  // still never recurse along a chain.
  std::string args = std::string("f(").append(chain(kChainBytes / 2, "1", ",1")) + ")";
  std::string inner = std::string("(").append(chain(kChainBytes / 4, "x", "/x")) + ")";
  std::string nested = inner + "+" + inner + "-" + inner;
  vellum_test::runOnThreadWithStack(vellum_test::kOneMiB, [&] {
    ParseResult a = vellum_parse_promql(args.c_str(), 0);
    ParseResult n = vellum_parse_promql(nested.c_str(), 0);
    EXPECT_EQ(a.status, 0);
    EXPECT_EQ(n.status, 0);
    vellum_free_buffer(a.data);
    vellum_free_buffer(n.data);
    vellum_free_buffer(a.error);
    vellum_free_buffer(n.error);
  });
}

#ifdef VELLUM_NO_SANITIZER
// Mended fault: a document past the 32-bit length of the result record
// fails cleanly instead of wrapping the length. A 20 MiB chain would give
// about 2.4 GB.
TEST(ApiPromQlTest, DocumentBeyondTheLengthLimitFails) {
  const std::string text = chain(20 * 1024 * 1024, "1", "+1");
  std::string got;
  vellum_test::runOnThreadWithStack(vellum_test::kOneMiB, [&] { got = run(text); });
  EXPECT_EQ(got, "error: PromQL document exceeds 2147483647-byte limit");
}
#endif

// ---------------------------------------------------------------------------
// Real-world expressions: whatever the dialect accepts comes back as a
// document, the rest as a PromQL syntax error; never a crash or a defect.

std::string decodeBase64(const std::string& in) {
  std::string out;
  unsigned buffer = 0;
  int bits = 0;
  for (char c : in) {
    int v = c >= 'A' && c <= 'Z'   ? c - 'A'
            : c >= 'a' && c <= 'z' ? c - 'a' + 26
            : c >= '0' && c <= '9' ? c - '0' + 52
            : c == '+'             ? 62
            : c == '/'             ? 63
                                   : -1;
    if (v < 0) continue;
    buffer = (buffer << 6) | static_cast<unsigned>(v);
    bits += 6;
    if (bits >= 8) {
      bits -= 8;
      out.push_back(static_cast<char>((buffer >> bits) & 0xff));
    }
  }
  return out;
}

TEST(ApiPromQlTest, CorpusExpressionsGiveADocumentOrASyntaxError) {
  const std::filesystem::path dir = std::filesystem::path(VELLUM_CORPUS_DIR) / "promql";
  if (!std::filesystem::exists(dir)) GTEST_SKIP() << "no corpus at " << dir;
  std::size_t total = 0;
  std::size_t accepted = 0;
  for (const auto& entry : std::filesystem::directory_iterator(dir)) {
    if (entry.path().extension() != ".jsonl") continue;
    std::ifstream in(entry.path());
    std::string line;
    while (std::getline(in, line)) {
      if (line.empty()) continue;
      nlohmann::json record = nlohmann::json::parse(line);
      std::string text = record.is_string() ? record.get<std::string>()
                                            : decodeBase64(record.at("base64").get<std::string>());
      std::string got = run(text);
      ++total;
      if (got.rfind("error: ", 0) == 0) {
        EXPECT_EQ(got.rfind("error: PromQL parse error at line ", 0), 0u) << text << "\n" << got;
      } else {
        ++accepted;
        EXPECT_EQ(got.rfind(R"({"kind":{"variant":")", 0), 0u) << text << "\n" << got;
      }
    }
  }
  std::printf("PromQL corpus: %zu of %zu expressions accepted\n", accepted, total);
  EXPECT_GT(total, 0u);
}

}  // namespace
