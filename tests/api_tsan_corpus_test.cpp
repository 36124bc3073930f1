// Eight threads parse the whole real-world corpus (SQL and PromQL) at the
// same time, each starting at a different text, and every result buffer is
// released by the next thread, not by the one that made it. Each answer must
// equal the one a single thread got. Built with -DVELLUM_SANITIZER=thread
// this shows that parse calls share no mutable state and that buffers may be
// released anywhere.
#include <atomic>
#include <cstdint>
#include <filesystem>
#include <mutex>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include <gtest/gtest.h>

#include "support/corpus.h"
#include "vellum_sql_parser.h"

namespace {

struct Text {
  bool sql;
  std::string text;
};

std::vector<Text> corpus() {
  std::vector<Text> all;
  for (const char* language : {"sql", "promql"}) {
    std::filesystem::path dir = std::filesystem::path(VELLUM_CORPUS_DIR) / language;
    if (!std::filesystem::exists(dir)) continue;
    for (const auto& entry : std::filesystem::directory_iterator(dir)) {
      if (entry.path().extension() != ".jsonl") continue;
      for (std::string& text : vellum_test::readCorpusFile(entry.path())) {
        all.push_back({language[0] == 's', std::move(text)});
      }
    }
  }
  return all;
}

ParseResult parse(const Text& t) {
  return t.sql ? vellum_parse_sql(t.text.data(), static_cast<int32_t>(t.text.size()))
               : vellum_parse_promql(t.text.c_str(), 0);
}

// A digest of everything a result says (FNV-1a over status and bytes).
std::uint64_t digest(const ParseResult& r) {
  std::uint64_t h = 1469598103934665603ULL ^ r.status;
  auto mix = [&h](const void* p, std::size_t n) {
    for (std::size_t i = 0; i < n; ++i) h = (h ^ static_cast<const std::uint8_t*>(p)[i]) * 1099511628211ULL;
  };
  if (r.data != nullptr) mix(r.data, static_cast<std::size_t>(r.data_len));
  if (r.error != nullptr) mix(r.error, static_cast<std::size_t>(r.error_len) + 1);
  return h;
}

// Buffers one thread hands to the next for release.
struct Inbox {
  std::mutex mutex;
  std::vector<void*> buffers;

  void put(void* a, void* b) {
    std::lock_guard<std::mutex> lock(mutex);
    buffers.push_back(a);
    buffers.push_back(b);
  }
  void releaseAll() {
    std::vector<void*> taken;
    {
      std::lock_guard<std::mutex> lock(mutex);
      taken.swap(buffers);
    }
    for (void* p : taken) vellum_free_buffer(p);
  }
};

TEST(ApiTsanCorpusTest, EightThreadsParseTheCorpusAndReleaseEachOthersBuffers) {
  const std::vector<Text> texts = corpus();
  if (texts.empty()) GTEST_SKIP() << "no corpus at " << VELLUM_CORPUS_DIR;
  std::vector<std::uint64_t> expected;
  expected.reserve(texts.size());
  for (const Text& t : texts) {
    ParseResult r = parse(t);
    expected.push_back(digest(r));
    vellum_free_buffer(r.data);
    vellum_free_buffer(r.error);
  }

  constexpr int kThreads = 8;
  std::vector<Inbox> inboxes(kThreads);
  std::vector<std::size_t> mismatches(kThreads, 0);
  std::atomic<int> producing{kThreads};
  std::vector<std::thread> threads;
  for (int t = 0; t < kThreads; ++t) {
    threads.emplace_back([&, t] {
      Inbox& next = inboxes[(t + 1) % kThreads];
      for (std::size_t i = 0; i < texts.size(); ++i) {
        std::size_t k = (i + static_cast<std::size_t>(t) * texts.size() / kThreads) % texts.size();
        ParseResult r = parse(texts[k]);
        if (digest(r) != expected[k]) ++mismatches[t];
        next.put(r.data, r.error);
        if (i % 64 == 0) inboxes[t].releaseAll();
      }
      producing.fetch_sub(1);
      while (producing.load() > 0) {
        inboxes[t].releaseAll();
        std::this_thread::yield();
      }
      inboxes[t].releaseAll();
    });
  }
  for (std::thread& thread : threads) thread.join();
  for (int t = 0; t < kThreads; ++t) EXPECT_EQ(mismatches[t], 0u) << "thread " << t;
}

}  // namespace
