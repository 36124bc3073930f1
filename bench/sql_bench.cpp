// vellum_parse_sql from end to end (parse + document + result buffers):
//   script  a 1 MiB script of realistic analytical queries and utility
//           statements, in MB/s
//   short   "SELECT a, b FROM t WHERE c = 1", time per call including the
//           release of the result buffers
// and, where libpg_query is available, pg_query_parse (its JSON parse tree)
// on the same texts, with the ratios printed after the run.
//
// Peak memory of one script parse is measured with a counting malloc: this
// binary interposes malloc/free/realloc/calloc/memalign and, while counting is
// on, adds up malloc_usable_size of the live blocks; the peak of that sum over
// the call (input copy, arena, document buffer and the returned document
// included) is reported against the input size.
#include <malloc.h>

#include <atomic>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <thread>
#include <vector>

#include <benchmark/benchmark.h>

#include "bench_summary.h"
#include "vellum_sql_parser.h"

#ifdef VELLUM_HAVE_PG_QUERY
#include <pg_query.h>
#endif

// ---------------------------------------------------------------------------
// Counting malloc.

extern "C" {
void* __libc_malloc(std::size_t size);
void __libc_free(void* p);
void* __libc_calloc(std::size_t n, std::size_t size);
void* __libc_realloc(void* p, std::size_t size);
void* __libc_memalign(std::size_t alignment, std::size_t size);
}

namespace {

std::atomic<bool> gCounting{false};
std::atomic<std::int64_t> gLive{0};
std::atomic<std::int64_t> gPeak{0};

void account(std::int64_t delta) {
  std::int64_t now = gLive.fetch_add(delta, std::memory_order_relaxed) + delta;
  std::int64_t peak = gPeak.load(std::memory_order_relaxed);
  while (now > peak && !gPeak.compare_exchange_weak(peak, now, std::memory_order_relaxed)) {
  }
}

inline bool counting() { return gCounting.load(std::memory_order_relaxed); }

}  // namespace

extern "C" {

void* malloc(std::size_t size) {
  void* p = __libc_malloc(size);
  if (p != nullptr && counting()) account(static_cast<std::int64_t>(malloc_usable_size(p)));
  return p;
}

void free(void* p) {
  if (p != nullptr && counting()) account(-static_cast<std::int64_t>(malloc_usable_size(p)));
  __libc_free(p);
}

void* calloc(std::size_t n, std::size_t size) {
  void* p = __libc_calloc(n, size);
  if (p != nullptr && counting()) account(static_cast<std::int64_t>(malloc_usable_size(p)));
  return p;
}

void* realloc(void* p, std::size_t size) {
  if (!counting()) return __libc_realloc(p, size);
  std::int64_t before = p != nullptr ? static_cast<std::int64_t>(malloc_usable_size(p)) : 0;
  void* q = __libc_realloc(p, size);
  if (q != nullptr) account(static_cast<std::int64_t>(malloc_usable_size(q)) - before);
  return q;
}

void* memalign(std::size_t alignment, std::size_t size) {
  void* p = __libc_memalign(alignment, size);
  if (p != nullptr && counting()) account(static_cast<std::int64_t>(malloc_usable_size(p)));
  return p;
}

void* aligned_alloc(std::size_t alignment, std::size_t size) { return memalign(alignment, size); }

int posix_memalign(void** out, std::size_t alignment, std::size_t size) {
  void* p = memalign(alignment, size);
  if (p == nullptr) return ENOMEM;
  *out = p;
  return 0;
}

}  // extern "C"

namespace {

// ---------------------------------------------------------------------------
// Inputs. Every statement is also valid PostgreSQL, so that both parsers read
// the same script.

const char* const kStatements[] = {
    "SELECT a, b FROM t WHERE c = 1",
    "SELECT customer_id, SUM(amount) AS total, COUNT(*) AS orders\n"
    "  FROM orders\n"
    " WHERE created_at >= DATE '2024-01-01' AND status IN ('paid', 'shipped')\n"
    " GROUP BY customer_id\n"
    "HAVING SUM(amount) > 1000\n"
    " ORDER BY total DESC\n"
    " LIMIT 10",
    "SELECT o.id, c.name, p.title, i.qty * i.price AS line_total\n"
    "  FROM orders o\n"
    "  JOIN customers c ON c.id = o.customer_id\n"
    "  JOIN items i ON i.order_id = o.id\n"
    "  LEFT JOIN products p ON p.id = i.product_id\n"
    " WHERE o.region = 'EU' AND (p.category = 'books' OR p.category IS NULL)",
    "WITH monthly AS (\n"
    "  SELECT date_trunc('month', created_at) AS month, SUM(amount) AS revenue\n"
    "    FROM orders GROUP BY 1\n"
    ")\n"
    "SELECT month, revenue,\n"
    "       revenue - LAG(revenue) OVER (ORDER BY month) AS delta,\n"
    "       AVG(revenue) OVER (ORDER BY month ROWS BETWEEN 2 PRECEDING AND CURRENT ROW) AS moving_avg\n"
    "  FROM monthly ORDER BY month",
    "SELECT dept, title, COUNT(*), AVG(salary) FILTER (WHERE active)\n"
    "  FROM employees GROUP BY ROLLUP (dept, title)",
    "SELECT id, name, ROW_NUMBER() OVER (PARTITION BY dept ORDER BY salary DESC, hired_at) AS rn\n"
    "  FROM employees WHERE salary BETWEEN 30000 AND 90000",
    "SELECT CASE WHEN score >= 90 THEN 'A' WHEN score >= 80 THEN 'B' WHEN score >= 70 THEN 'C' ELSE 'F' END AS grade,\n"
    "       COUNT(*) AS n\n"
    "  FROM results GROUP BY 1 ORDER BY 1",
    "SELECT u.name FROM users u\n"
    " WHERE EXISTS (SELECT 1 FROM orders o WHERE o.user_id = u.id AND o.amount > 100)\n"
    "   AND u.id NOT IN (SELECT user_id FROM banned)",
    "SELECT city FROM customers UNION SELECT city FROM suppliers EXCEPT SELECT city FROM closed ORDER BY city",
    "SELECT payload->'user'->>'email' AS email, payload->>'plan' AS plan\n"
    "  FROM events WHERE payload->>'type' = 'signup' AND ts > NOW() - INTERVAL '7 days'",
    "SELECT percentile_cont(0.95) WITHIN GROUP (ORDER BY latency_ms) AS p95,\n"
    "       string_agg(DISTINCT host, ', ') AS hosts\n"
    "  FROM requests WHERE path LIKE '/api/%'",
    "SELECT DISTINCT ON (user_id) user_id, created_at, device\n"
    "  FROM sessions ORDER BY user_id, created_at DESC",
    "SELECT u.name, x.total\n"
    "  FROM users u, LATERAL (SELECT SUM(amount) AS total FROM orders o WHERE o.user_id = u.id) x\n"
    " WHERE x.total IS NOT NULL",
    "WITH RECURSIVE tree(id, parent, depth) AS (\n"
    "  SELECT id, parent, 0 FROM nodes WHERE parent IS NULL\n"
    "  UNION ALL\n"
    "  SELECT n.id, n.parent, t.depth + 1 FROM nodes n JOIN tree t ON n.parent = t.id\n"
    ")\n"
    "SELECT * FROM tree WHERE depth < 5",
    "SELECT region, product, SUM(sales) FROM fact_sales\n"
    " GROUP BY GROUPING SETS ((region, product), (region), ())",
    "SELECT extract(YEAR FROM created_at) AS yr, COALESCE(SUM(amount), 0) AS total,\n"
    "       CAST(AVG(amount) AS DECIMAL(10, 2)) AS avg_amount\n"
    "  FROM orders GROUP BY 1",
    "SELECT name FROM products\n"
    " WHERE name ILIKE '%phone%' AND price NOT BETWEEN 100 AND 200 AND sku IS DISTINCT FROM legacy_sku",
    "SELECT x FROM t WHERE x > ALL (SELECT y FROM u) OR x = ANY (SELECT z FROM v)",
    "VALUES (1, 'one', 1.5), (2, 'two', 2.5), (3, 'three', 3.5)",
    "SELECT a FROM t ORDER BY a NULLS LAST OFFSET 20 ROWS FETCH NEXT 10 ROWS ONLY",
    "SELECT * FROM generate_series(1, 100) AS g(n) WHERE n % 7 = 0",
    "SELECT * FROM (SELECT a, b FROM t UNION ALL SELECT a, b FROM u) s WHERE s.a > 0 AND s.b <> 'x'",
    "EXPLAIN SELECT * FROM orders WHERE id = 42",
    "BEGIN",
    "SAVEPOINT before_update",
    "ROLLBACK TO SAVEPOINT before_update",
    "COMMIT",
};

constexpr std::size_t kScriptBytes = 1 << 20;

// The statements in turn, as many as fit `bytes`.
std::string buildScript(std::size_t bytes) {
  std::string script;
  script.reserve(bytes);
  for (std::size_t i = 0;; ++i) {
    std::string next = std::string(kStatements[i % (sizeof kStatements / sizeof kStatements[0])]) + ";\n";
    if (script.size() + next.size() > bytes) break;
    script += next;
  }
  return script;
}

const std::string& script() {
  static const std::string text = buildScript(kScriptBytes);
  return text;
}

// The same mix at 16 KiB: the cost per byte should not grow with the size.
const std::string& smallScript() {
  static const std::string text = buildScript(16 * 1024);
  return text;
}

const std::string kShort = "SELECT a, b FROM t WHERE c = 1";

void parseVellum(benchmark::State& state, const std::string& text) {
  for (auto _ : state) {
    ParseResult r = vellum_parse_sql(text.data(), static_cast<std::int32_t>(text.size()));
    if (r.status != 0) {
      state.SkipWithError(r.error);
      vellum_free_buffer(r.error);
      break;
    }
    benchmark::DoNotOptimize(r.data);
    vellum_free_buffer(r.data);
  }
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * text.size()));
}

void BM_VellumScript(benchmark::State& state) { parseVellum(state, script()); }
BENCHMARK(BM_VellumScript)->Unit(benchmark::kMillisecond);

void BM_VellumScript16K(benchmark::State& state) { parseVellum(state, smallScript()); }
BENCHMARK(BM_VellumScript16K)->Unit(benchmark::kMicrosecond);

void BM_VellumShort(benchmark::State& state) { parseVellum(state, kShort); }
BENCHMARK(BM_VellumShort)->Unit(benchmark::kNanosecond);

#ifdef VELLUM_HAVE_PG_QUERY
void parsePg(benchmark::State& state, const std::string& text) {
  for (auto _ : state) {
    PgQueryParseResult r = pg_query_parse(text.c_str());
    if (r.error != nullptr) {
      state.SkipWithError(r.error->message);
      pg_query_free_parse_result(r);
      break;
    }
    benchmark::DoNotOptimize(r.parse_tree);
    pg_query_free_parse_result(r);
  }
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * text.size()));
}

void BM_PgQueryScript(benchmark::State& state) { parsePg(state, script()); }
BENCHMARK(BM_PgQueryScript)->Unit(benchmark::kMillisecond);

void BM_PgQueryShort(benchmark::State& state) { parsePg(state, kShort); }
BENCHMARK(BM_PgQueryShort)->Unit(benchmark::kNanosecond);
#endif

struct Peak {
  std::int64_t bytes = 0;
  std::size_t documentBytes = 0;
};

// On a thread of its own, which has no memory kept from earlier calls, so
// that everything the call uses is counted.
Peak vellumPeak(const std::string& text) {
  Peak peak;
  std::thread([&] {
    gLive = 0;
    gPeak = 0;
    gCounting = true;
    ParseResult r = vellum_parse_sql(text.data(), static_cast<std::int32_t>(text.size()));
    peak.bytes = gPeak.load();
    peak.documentBytes = static_cast<std::size_t>(r.data_len);
    vellum_free_buffer(r.data);
    vellum_free_buffer(r.error);
    gCounting = false;
  }).join();
  return peak;
}

#ifdef VELLUM_HAVE_PG_QUERY
Peak pgPeak(const std::string& text) {
  Peak peak;
  gLive = 0;
  gPeak = 0;
  gCounting = true;
  PgQueryParseResult r = pg_query_parse(text.c_str());
  peak.bytes = gPeak.load();
  peak.documentBytes = r.parse_tree != nullptr ? std::strlen(r.parse_tree) : 0;
  pg_query_free_parse_result(r);
  gCounting = false;
  return peak;
}
#endif

// Wall-clock figures; on a loaded machine the CPU-time line below is the
// steadier of the two.
void printSummary(const vellum_bench::RecordingReporter& reporter) {
  auto time = [&](const char* name) { return reporter.wall(name); };
  auto cpu = [&](const char* name) { return reporter.cpu(name); };
  const double mb = static_cast<double>(script().size()) / 1e6;
  const double script = time("BM_VellumScript");
  const double shortCall = time("BM_VellumShort");
  std::printf("\nscript: %zu bytes, %.1f MB/s; short statement: %.0f ns per call\n", ::script().size(),
              script > 0 ? mb / script : 0.0, shortCall * 1e9);
  const double small = time("BM_VellumScript16K");
  if (script > 0 && small > 0) {
    const double perByte = script / static_cast<double>(::script().size());
    const double smallPerByte = small / static_cast<double>(smallScript().size());
    std::printf("ns per byte: %.2f at 1 MiB, %.2f at 16 KiB (%.2fx)\n", perByte * 1e9, smallPerByte * 1e9,
                perByte / smallPerByte);
  }
#ifdef VELLUM_HAVE_PG_QUERY
  const double pgScript = time("BM_PgQueryScript");
  const double pgShort = time("BM_PgQueryShort");
  std::printf("pg_query_parse: %.1f MB/s, %.0f ns per short statement\n", pgScript > 0 ? mb / pgScript : 0.0,
              pgShort * 1e9);
  if (script > 0 && shortCall > 0) {
    std::printf("ratio (pg_query time / vellum time): script %.1fx, short statement %.1fx\n", pgScript / script,
                pgShort / shortCall);
  }
  if (cpu("BM_VellumScript") > 0 && cpu("BM_VellumShort") > 0) {
    std::printf("ratio by CPU time: script %.1fx, short statement %.1fx\n",
                cpu("BM_PgQueryScript") / cpu("BM_VellumScript"), cpu("BM_PgQueryShort") / cpu("BM_VellumShort"));
  }
#else
  std::printf("pg_query not available: no comparison\n");
#endif
  Peak peak = vellumPeak(::script());
  const double input = static_cast<double>(::script().size());
  std::printf("peak heap during one script parse: %.1f MiB = %.2fx input (document alone %.2fx input, rest %.2fx)\n",
              static_cast<double>(peak.bytes) / 1048576.0, static_cast<double>(peak.bytes) / input,
              static_cast<double>(peak.documentBytes) / input,
              static_cast<double>(peak.bytes - static_cast<std::int64_t>(peak.documentBytes)) / input);
#ifdef VELLUM_HAVE_PG_QUERY
  Peak pg = pgPeak(::script());
  std::printf("pg_query_parse peak heap: %.1f MiB = %.2fx input (JSON tree %.2fx input)\n",
              static_cast<double>(pg.bytes) / 1048576.0, static_cast<double>(pg.bytes) / input,
              static_cast<double>(pg.documentBytes) / input);
#endif
}

}  // namespace

int main(int argc, char** argv) { return vellum_bench::runWithSummary(argc, argv, printSummary); }
