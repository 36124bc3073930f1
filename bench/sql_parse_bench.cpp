// Throughput of the SQL lexer and of the expression parser, in bytes per
// second, on generated inputs of 1 MiB:
//   mixed  one expression: OR of parenthesised terms that use most of the
//          expression grammar (calls, casts, CASE, predicates, arrows,
//          subscripts, literals), over several lines
//   chain  "1+1+...+1", the longest operator chain the input limit allows
#include <string>

#include <benchmark/benchmark.h>

#include "sql/lexer.h"
#include "sql/parser.h"
#include "support/arena.h"

namespace {

using namespace vellum::sql;

constexpr std::size_t kInputBytes = 1 << 20;

std::string mixedExpression() {
  static const char kTerm[] =
      "(t.price * 1.08 + f(a, 'it''s', 42) - c[1] >= 3.5 AND name LIKE 'x%' ESCAPE '!'\n"
      " OR e IS NOT NULL AND d BETWEEN 1 AND 10 AND k NOT IN (1, 2, 3)\n"
      " AND CAST(j AS VARCHAR(10)) || 'abc' <> (x->>'key') AND -amount < ~mask\n"
      " AND CASE WHEN a THEN 1 ELSE 2 END = 1 AND \"Quoted Col\" = ? -- comment\n"
      " AND sum(v) FILTER (WHERE v > 0) > 0 AND arr[1:2] = ARRAY[1, 2] AND DATE '2024-01-01' < now())";
  std::string text;
  text.reserve(kInputBytes);
  while (text.size() + sizeof kTerm + 4 < kInputBytes) {
    if (!text.empty()) text += " OR\n";
    text += kTerm;
  }
  return text;
}

std::string chainExpression() {
  std::string text;
  text.reserve(kInputBytes);
  while (text.size() + 3 <= kInputBytes) text += "1+";
  text += "1";
  return text;
}

const std::string& input(int which) {
  static const std::string mixed = mixedExpression();
  static const std::string chain = chainExpression();
  return which == 0 ? mixed : chain;
}

void label(benchmark::State& state, int which) { state.SetLabel(which == 0 ? "mixed" : "chain"); }

void BM_Lexer(benchmark::State& state) {
  const std::string& text = input(static_cast<int>(state.range(0)));
  std::size_t tokens = 0;
  for (auto _ : state) {
    vellum::Arena arena;
    Lexer lexer = initLexer(text);
    tokens = 0;
    while (nextToken(lexer, &arena).kind != tkEof) ++tokens;
    benchmark::DoNotOptimize(tokens);
  }
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * text.size()));
  state.counters["tokens"] = static_cast<double>(tokens);
  label(state, static_cast<int>(state.range(0)));
}
BENCHMARK(BM_Lexer)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond);

void BM_ExpressionParser(benchmark::State& state) {
  const std::string& text = input(static_cast<int>(state.range(0)));
  for (auto _ : state) {
    vellum::Arena arena;
    Parser parser(text, arena);
    SqlNode* root = parser.parseExpression();
    if (parser.current.kind != tkEof) state.SkipWithError("expression did not fill the input");
    benchmark::DoNotOptimize(root);
  }
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * text.size()));
  label(state, static_cast<int>(state.range(0)));
}
BENCHMARK(BM_ExpressionParser)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
