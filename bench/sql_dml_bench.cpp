// Parse plus document of the longest DML statements, at 256 KiB and 1 MiB,
// in bytes per second; equal rates at both sizes show time linear in the
// input:
//   rows   INSERT INTO t VALUES (1), (1), ... (about 200,000 rows at 1 MiB)
//   set    UPDATE t SET a = 1+1+...+1
//   using  DELETE FROM t USING a JOIN b ON x JOIN b ON x ...
// and, for comparison, the same join chain in a query:
//   from   SELECT * FROM a JOIN b ON x JOIN b ON x ...
#include <string>

#include <benchmark/benchmark.h>

#include "ffi/sql_document.h"

namespace {

struct Shape {
  const char* label;
  const char* head;
  const char* link;
};

constexpr Shape kShapes[] = {
    {"rows", "INSERT INTO t VALUES (1)", ", (1)"},
    {"set", "UPDATE t SET a = 1", "+1"},
    {"using", "DELETE FROM t USING a", " JOIN b ON x"},
    {"from", "SELECT * FROM a", " JOIN b ON x"},
};

std::string statement(const Shape& shape, std::size_t bytes) {
  std::string text = shape.head;
  std::string link = shape.link;
  text.reserve(bytes);
  while (text.size() + link.size() <= bytes) text += link;
  return text;
}

void BM_DmlDocument(benchmark::State& state) {
  const Shape& shape = kShapes[state.range(0)];
  const std::string text = statement(shape, static_cast<std::size_t>(state.range(1)) * 1024);
  std::size_t documentBytes = 0;
  for (auto _ : state) {
    vellum::DocumentBytes document = vellum::parseSqlDocument(text);
    documentBytes = document.size;
    benchmark::DoNotOptimize(document.data.get());
  }
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * text.size()));
  state.counters["doc_bytes"] = static_cast<double>(documentBytes);
  state.SetLabel(shape.label);
}
BENCHMARK(BM_DmlDocument)
    ->ArgsProduct({{0, 1, 2, 3}, {256, 1024}})
    ->ArgNames({"shape", "KiB"})
    ->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
