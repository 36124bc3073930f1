// vellum_parse_sql over the real-world statements of the shared corpus, one
// call per statement the way hosts call it (the release of both buffers
// included), beside libpg_query's pg_query_parse over exactly the same
// statements: those that both parsers accept. Also one and two threads over
// the same statements, each thread walking the whole list, and
// vellum_parse_promql over every real-world expression of the PromQL corpus
// that it accepts. Last, the texts of both corpora that the library rejects:
// an editor or linter that parses as the user types sees mostly those, and
// each costs a syntax error.
//
// The summary after the run gives MB/s, ns per statement and the ratios of
// the two parsers: by wall-clock and CPU time of their own benchmarks, and
// the median over passes of the two run back to back (BM_CorpusPairs), the
// figure that holds still on a busy machine.
#include <algorithm>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include <benchmark/benchmark.h>
#include <nlohmann/json.hpp>

#include "bench_summary.h"
#include "vellum_sql_parser.h"

#ifdef VELLUM_HAVE_PG_QUERY
#include <pg_query.h>
#endif

namespace {

bool vellumAccepts(const std::string& text) {
  ParseResult r = vellum_parse_sql(text.data(), static_cast<std::int32_t>(text.size()));
  vellum_free_buffer(r.data);
  vellum_free_buffer(r.error);
  return r.status == 0;
}

#ifdef VELLUM_HAVE_PG_QUERY
bool pgAccepts(const std::string& text) {
  PgQueryParseResult r = pg_query_parse(text.c_str());
  bool ok = r.error == nullptr;
  pg_query_free_parse_result(r);
  return ok;
}
#endif

bool promQlAccepts(const std::string& text) {
  ParseResult r = vellum_parse_promql(text.c_str(), static_cast<std::int32_t>(text.size()));
  vellum_free_buffer(r.data);
  vellum_free_buffer(r.error);
  return r.status == 0;
}

struct Corpus {
  std::vector<std::string> statements;
  std::size_t bytes = 0;
  std::size_t read = 0;
};

// Every text of the corpus directory `name` that `accepts`.
template <class Accepts>
Corpus loadCorpus(const char* name, Accepts accepts) {
  Corpus c;
  std::filesystem::path dir = std::filesystem::path(VELLUM_CORPUS_DIR) / name;
  if (!std::filesystem::exists(dir)) return c;
  std::vector<std::filesystem::path> files;
  for (const auto& entry : std::filesystem::directory_iterator(dir)) {
    if (entry.path().extension() == ".jsonl") files.push_back(entry.path());
  }
  std::sort(files.begin(), files.end());
  for (const auto& file : files) {
    std::ifstream in(file);
    std::string line;
    while (std::getline(in, line)) {
      if (line.empty()) continue;
      nlohmann::json record = nlohmann::json::parse(line);
      if (!record.is_string()) continue;
      std::string text = record.get<std::string>();
      ++c.read;
      if (!accepts(text)) continue;
      c.bytes += text.size();
      c.statements.push_back(std::move(text));
    }
  }
  return c;
}

// Every statement of the SQL corpus that the parsers compared here accept.
const Corpus& corpus() {
  static const Corpus loaded = loadCorpus("sql", [](const std::string& text) {
    bool both = vellumAccepts(text);
#ifdef VELLUM_HAVE_PG_QUERY
    both = both && pgAccepts(text);
#endif
    return both;
  });
  return loaded;
}

// Every expression of the PromQL corpus that the library accepts.
const Corpus& promQlCorpus() {
  static const Corpus loaded = loadCorpus("promql", promQlAccepts);
  return loaded;
}

// The texts of each corpus that the library rejects.
const Corpus& rejectedCorpus() {
  static const Corpus loaded = loadCorpus("sql", [](const std::string& text) { return !vellumAccepts(text); });
  return loaded;
}
const Corpus& rejectedPromQlCorpus() {
  static const Corpus loaded = loadCorpus("promql", [](const std::string& text) { return !promQlAccepts(text); });
  return loaded;
}

// Bytes and texts parsed, counting each of `times` calls.
void setCounters(benchmark::State& state, const Corpus& c, int times = 1) {
  const auto calls = static_cast<std::int64_t>(state.iterations()) * times;
  state.SetBytesProcessed(calls * static_cast<std::int64_t>(c.bytes));
  state.SetItemsProcessed(calls * static_cast<std::int64_t>(c.statements.size()));
}

// False, and the benchmark skipped, when the corpus was not found.
bool haveCorpus(benchmark::State& state, const Corpus& c) {
  if (c.statements.empty()) state.SkipWithError("no corpus");
  return !c.statements.empty();
}

// One pass: every corpus statement through `parse`, `times` calls in a row.
template <class Parse>
void passOver(const Corpus& c, Parse parse, int times = 1) {
  for (const std::string& text : c.statements) {
    for (int i = 0; i < times; ++i) parse(text);
  }
}

// A pass over the corpus on each iteration.
template <class Parse>
void parseCorpus(benchmark::State& state, const Corpus& c, Parse parse, int times = 1) {
  if (!haveCorpus(state, c)) return;
  for (auto _ : state) passOver(c, parse, times);
  setCounters(state, c, times);
}

void parseSql(const std::string& text) {
  ParseResult r = vellum_parse_sql(text.data(), static_cast<std::int32_t>(text.size()));
  benchmark::DoNotOptimize(r.data);
  vellum_free_buffer(r.data);
  vellum_free_buffer(r.error);
}

void parsePromQl(const std::string& text) {
  ParseResult r = vellum_parse_promql(text.c_str(), static_cast<std::int32_t>(text.size()));
  benchmark::DoNotOptimize(r.data);
  vellum_free_buffer(r.data);
  vellum_free_buffer(r.error);
}

void BM_VellumCorpus(benchmark::State& state) { parseCorpus(state, corpus(), parseSql); }
BENCHMARK(BM_VellumCorpus)->Unit(benchmark::kMillisecond)->Threads(1)->Threads(2)->UseRealTime();

// Each statement twice in a row: the second call finds the branch history
// and the caches as the first left them, which the one call of a real host
// seldom does. The difference to BM_VellumCorpus is the cost of the second
// calls, and what the first calls cost beyond it is the price of meeting a
// statement cold (see the summary).
void BM_VellumCorpusTwice(benchmark::State& state) { parseCorpus(state, corpus(), parseSql, 2); }
BENCHMARK(BM_VellumCorpusTwice)->Unit(benchmark::kMillisecond)->UseRealTime();

void BM_VellumPromQlCorpus(benchmark::State& state) { parseCorpus(state, promQlCorpus(), parsePromQl); }
BENCHMARK(BM_VellumPromQlCorpus)->Unit(benchmark::kMillisecond)->UseRealTime();

void BM_VellumRejectedCorpus(benchmark::State& state) { parseCorpus(state, rejectedCorpus(), parseSql); }
BENCHMARK(BM_VellumRejectedCorpus)->Unit(benchmark::kMillisecond)->UseRealTime();

void BM_VellumRejectedPromQlCorpus(benchmark::State& state) {
  parseCorpus(state, rejectedPromQlCorpus(), parsePromQl);
}
BENCHMARK(BM_VellumRejectedPromQlCorpus)->Unit(benchmark::kMillisecond)->UseRealTime();

#ifdef VELLUM_HAVE_PG_QUERY
void parsePgQuery(const std::string& text) {
  PgQueryParseResult r = pg_query_parse(text.c_str());
  benchmark::DoNotOptimize(r.parse_tree);
  pg_query_free_parse_result(r);
}

void BM_PgQueryCorpus(benchmark::State& state) { parseCorpus(state, corpus(), parsePgQuery); }
BENCHMARK(BM_PgQueryCorpus)->Unit(benchmark::kMillisecond)->UseRealTime();

void BM_PgQueryCorpusTwice(benchmark::State& state) { parseCorpus(state, corpus(), parsePgQuery, 2); }
BENCHMARK(BM_PgQueryCorpusTwice)->Unit(benchmark::kMillisecond)->UseRealTime();

// The ratio of pg_query's time to the library's for each iteration, in which
// a pass of each parser over the corpus runs back to back. On a busy machine
// the two passes of an iteration see nearly the same load, so the median of
// these ratios holds still where the ratio of two separate benchmarks, run
// seconds apart, swings with the load.
std::vector<double> pairedRatios;

void BM_CorpusPairs(benchmark::State& state) {
  const Corpus& c = corpus();
  if (!haveCorpus(state, c)) return;
  using Clock = std::chrono::steady_clock;
  for (auto _ : state) {
    const Clock::time_point start = Clock::now();
    passOver(c, parseSql);
    const Clock::time_point middle = Clock::now();
    passOver(c, parsePgQuery);
    const Clock::time_point end = Clock::now();
    pairedRatios.push_back(std::chrono::duration<double>(end - middle).count() /
                           std::chrono::duration<double>(middle - start).count());
  }
  setCounters(state, c, 2);
}
BENCHMARK(BM_CorpusPairs)->Unit(benchmark::kMillisecond)->UseRealTime()->MinTime(2.0);
#endif

// Splits the time of one pass over the corpus (`once`) with the time of the
// pass that calls twice per statement (`twice`): the second calls cost
// twice - once, and the rest of `once` is what meeting the statements cold
// adds. Per statement, in ns.
void printColdShare(const char* parser, double once, double twice, double n) {
  if (once <= 0 || twice <= 0) return;
  const double warm = (twice - once) * 1e9 / n;
  const double cold = once * 1e9 / n - warm;
  if (cold < 0) {
    // The machine slowed down between the two passes: no split to report.
    std::printf("%s, each statement twice in a row: that pass took more than twice the single one, so the load on "
                "the machine changed between them; no split\n",
                parser);
    return;
  }
  std::printf("%s, each statement twice in a row: the second call %.0f ns, so %.0f ns (%.0f%%) of a first call is the "
              "price of a statement met cold\n",
              parser, warm, cold, 100.0 * cold / (once * 1e9 / n));
}

void printSummary(const vellum_bench::RecordingReporter& reporter) {
  const Corpus& c = corpus();
  if (c.statements.empty()) return;
  const double mb = static_cast<double>(c.bytes) / 1e6;
  const double n = static_cast<double>(c.statements.size());
  std::printf("\ncorpus: %zu of %zu statements accepted by both, %zu bytes (%.0f bytes on average)\n",
              c.statements.size(), c.read, c.bytes, static_cast<double>(c.bytes) / n);
  const double one = reporter.wall("BM_VellumCorpus/real_time/threads:1");
  const double two = reporter.wall("BM_VellumCorpus/real_time/threads:2");
  const double oneCpu = reporter.cpu("BM_VellumCorpus/real_time/threads:1");
  if (one > 0) {
    std::printf("vellum_parse_sql: %.1f MB/s, %.0f ns per statement (CPU: %.1f MB/s)\n", mb / one, one * 1e9 / n,
                oneCpu > 0 ? mb / oneCpu : 0.0);
  }
  // With two threads the time per iteration is the wall-clock time over the
  // iterations of both threads, so perfect scaling halves it.
  if (one > 0 && two > 0) std::printf("2 threads: %.2fx the throughput of one\n", one / two);
  printColdShare("vellum_parse_sql", one, reporter.wall("BM_VellumCorpusTwice/real_time"), n);
#ifdef VELLUM_HAVE_PG_QUERY
  const double pg = reporter.wall("BM_PgQueryCorpus/real_time");
  const double pgCpu = reporter.cpu("BM_PgQueryCorpus/real_time");
  if (pg > 0 && one > 0) {
    std::printf("pg_query_parse: %.1f MB/s, %.0f ns per statement\n", mb / pg, pg * 1e9 / n);
    std::printf("ratio (pg_query time / vellum time): %.1fx wall, %.1fx CPU\n", pg / one,
                oneCpu > 0 ? pgCpu / oneCpu : 0.0);
  }
  printColdShare("pg_query_parse", pg, reporter.wall("BM_PgQueryCorpusTwice/real_time"), n);
  if (!pairedRatios.empty()) {
    std::vector<double> sorted = pairedRatios;
    std::sort(sorted.begin(), sorted.end());
    const std::size_t k = sorted.size();
    std::printf("ratio in back-to-back passes: median %.1fx over %zu pairs (quartiles %.1fx to %.1fx)\n",
                sorted[k / 2], k, sorted[k / 4], sorted[(3 * k) / 4]);
  }
#else
  std::printf("pg_query not available: no comparison\n");
#endif
  const Corpus& p = promQlCorpus();
  const double promQl = reporter.wall("BM_VellumPromQlCorpus/real_time");
  if (!p.statements.empty() && promQl > 0) {
    std::printf("PromQL corpus: %zu of %zu expressions accepted, %zu bytes; vellum_parse_promql %.1f MB/s, %.0f ns per "
                "expression\n",
                p.statements.size(), p.read, p.bytes, static_cast<double>(p.bytes) / 1e6 / promQl,
                promQl * 1e9 / static_cast<double>(p.statements.size()));
  }
  const Corpus& r = rejectedCorpus();
  const double rejected = reporter.wall("BM_VellumRejectedCorpus/real_time");
  if (!r.statements.empty() && rejected > 0) {
    std::printf("rejected SQL texts: %zu, %.0f ns per text\n", r.statements.size(),
                rejected * 1e9 / static_cast<double>(r.statements.size()));
  }
  const Corpus& rp = rejectedPromQlCorpus();
  const double rejectedPromQl = reporter.wall("BM_VellumRejectedPromQlCorpus/real_time");
  if (!rp.statements.empty() && rejectedPromQl > 0) {
    std::printf("rejected PromQL texts: %zu, %.0f ns per text\n", rp.statements.size(),
                rejectedPromQl * 1e9 / static_cast<double>(rp.statements.size()));
  }
}

}  // namespace

int main(int argc, char** argv) { return vellum_bench::runWithSummary(argc, argv, printSummary); }
