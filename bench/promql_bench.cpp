// PromQL front end: throughput over a generated corpus of typical
// expressions, and the latency of one dashboard query, both through the C
// interface with the result buffers released. The tree-only figure shows the
// share of parsing in the whole.
#include <cstdint>
#include <string>
#include <vector>

#include <benchmark/benchmark.h>

#include "promql/promql_parser.h"
#include "support/arena.h"
#include "vellum_sql_parser.h"

namespace {

// Rates, sums by label, histogram_quantile over arithmetic of selectors
// with matchers, offsets: the shapes of alerting rules and dashboards.
std::vector<std::string> generateCorpus(std::size_t count) {
  static const char* const metrics[] = {
      "http_requests_total", "node_cpu_seconds_total", "container_memory_working_set_bytes",
      "apiserver_request_duration_seconds_bucket", "kube_pod_container_status_restarts_total",
      "node_filesystem_avail_bytes", "process_resident_memory_bytes", "grpc_server_handled_total"};
  static const char* const labels[] = {"job", "instance", "namespace", "pod", "code", "mode", "le", "cluster"};
  static const char* const values[] = {"api-server", "node-exporter", "5..", "idle", "kube-system", "/api/v1/query"};
  static const char* const ranges[] = {"1m", "5m", "10m", "1h", "30s", "1h30m"};
  static const char* const ops[] = {"=", "!=", "=~", "!~"};
  static const char* const aggs[] = {"sum", "avg", "max", "min", "count"};

  std::uint64_t state = 0x9e3779b97f4a7c15ULL;
  auto pick = [&](std::size_t n) {
    state = state * 6364136223846793005ULL + 1442695040888963407ULL;
    return static_cast<std::size_t>((state >> 33) % n);
  };
  auto selector = [&] {
    std::string s = metrics[pick(8)];
    s += '{';
    std::size_t matchers = 1 + pick(3);
    for (std::size_t i = 0; i < matchers; ++i) {
      if (i) s += ", ";
      s += labels[pick(8)];
      s += ops[pick(4)];
      s += '"';
      s += values[pick(6)];
      s += '"';
    }
    s += '}';
    return s;
  };
  auto rate = [&] { return std::string(pick(2) ? "rate(" : "irate(") + selector() + "[" + ranges[pick(6)] + "])"; };

  std::vector<std::string> corpus;
  corpus.reserve(count);
  for (std::size_t i = 0; i < count; ++i) {
    std::string e;
    switch (pick(6)) {
      case 0:
        e = rate();
        break;
      case 1:
        e = std::string(aggs[pick(5)]) + " by (" + labels[pick(8)] + ", " + labels[pick(8)] + ") (" + rate() + ")";
        break;
      case 2:
        e = "histogram_quantile(0.99, sum by (le, " + std::string(labels[pick(8)]) + ") (" + rate() + "))";
        break;
      case 3:
        e = "sum(" + rate() + ") / sum(" + rate() + ") * 100";
        break;
      case 4:
        e = std::string("(").append(selector()) + " - " + selector() + " offset 1d) / " + selector();
        break;
      default:
        e = std::string(aggs[pick(5)]) + "(" + selector() + ") without (" + labels[pick(8)] + ") * -1 + 2 ^ 3";
        break;
    }
    corpus.push_back(std::move(e));
  }
  return corpus;
}

void BM_PromQlCorpusThroughput(benchmark::State& state) {
  const std::vector<std::string> corpus = generateCorpus(1000);
  std::size_t bytes = 0;
  for (const auto& e : corpus) bytes += e.size();
  for (auto _ : state) {
    for (const auto& e : corpus) {
      ParseResult r = vellum_parse_promql(e.c_str(), static_cast<int32_t>(e.size()));
      if (r.status != 0) state.SkipWithError(r.error);
      benchmark::DoNotOptimize(r.data);
      vellum_free_buffer(r.data);
      vellum_free_buffer(r.error);
    }
  }
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * bytes));
}
BENCHMARK(BM_PromQlCorpusThroughput);

void BM_PromQlCorpusTreeOnly(benchmark::State& state) {
  const std::vector<std::string> corpus = generateCorpus(1000);
  std::size_t bytes = 0;
  for (const auto& e : corpus) bytes += e.size();
  for (auto _ : state) {
    for (const auto& e : corpus) {
      vellum::Arena arena;
      benchmark::DoNotOptimize(vellum::promql::parsePromQl(e, arena));
    }
  }
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * bytes));
}
BENCHMARK(BM_PromQlCorpusTreeOnly);

void BM_PromQlDashboardQueryLatency(benchmark::State& state) {
  const char* text = "sum by (job) (rate(http_requests_total{code=~\"5..\"}[5m]))";
  for (auto _ : state) {
    ParseResult r = vellum_parse_promql(text, 0);
    benchmark::DoNotOptimize(r.data);
    vellum_free_buffer(r.data);
    vellum_free_buffer(r.error);
  }
}
BENCHMARK(BM_PromQlDashboardQueryLatency);

}  // namespace

BENCHMARK_MAIN();
