// Parse calls from several threads at once, with the result buffers released
// on other threads than the ones that made them. Run under ThreadSanitizer
// this shows that the library shares no mutable state between calls.
#include <condition_variable>
#include <cstring>
#include <deque>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include "support/results.h"
#include "vellum_sql_parser.h"

namespace {

struct Input {
  bool sql;
  std::string text;
  int32_t len;
};

std::vector<Input> inputs() {
  std::vector<Input> all;
  const char* sql[] = {"SELECT 1", "SELECT a, b FROM t WHERE a > 1 ORDER BY b", "SELECT (1", "", "INSERT INTO t VALUES (1)"};
  for (const char* text : sql) all.push_back({true, text, static_cast<int32_t>(std::strlen(text))});
  all.push_back({true, "x", -1});
  all.push_back({true, std::string("a\0b", 3), 3});
  const char* promql[] = {"up", "sum by (job) (rate(x[5m]))", "sum(", "1 + 2 * 3"};
  for (const char* text : promql) all.push_back({false, text, 0});
  all.push_back({false, "up", 10});
  return all;
}

// A result's contents, copied before its buffers are handed over.
using vellum_test::describe;

ParseResult parse(const Input& input) {
  return input.sql ? vellum_parse_sql(input.text.data(), input.len) : vellum_parse_promql(input.text.c_str(), input.len);
}

// Buffers waiting to be released by another thread.
class ReleaseQueue {
 public:
  void push(void* p) {
    std::lock_guard<std::mutex> lock(mutex_);
    buffers_.push_back(p);
    ready_.notify_one();
  }
  void close() {
    std::lock_guard<std::mutex> lock(mutex_);
    closed_ = true;
    ready_.notify_all();
  }
  // Releases buffers until the queue is closed and empty.
  void drain() {
    for (;;) {
      void* p;
      {
        std::unique_lock<std::mutex> lock(mutex_);
        ready_.wait(lock, [&] { return closed_ || !buffers_.empty(); });
        if (buffers_.empty()) return;
        p = buffers_.front();
        buffers_.pop_front();
      }
      vellum_free_buffer(p);
    }
  }

 private:
  std::mutex mutex_;
  std::condition_variable ready_;
  std::deque<void*> buffers_;
  bool closed_ = false;
};

TEST(ApiThreadsTest, ConcurrentParsesGiveTheSameResults) {
  const std::vector<Input> all = inputs();
  std::vector<std::string> expected;
  for (const Input& input : all) {
    ParseResult r = parse(input);
    expected.push_back(describe(r));
    vellum_free_buffer(r.data);
    vellum_free_buffer(r.error);
  }

  constexpr int kParsers = 4;
  constexpr int kReleasers = 2;
  constexpr int kRounds = 50;
  ReleaseQueue queue;
  std::vector<std::thread> releasers;
  for (int i = 0; i < kReleasers; ++i) releasers.emplace_back([&] { queue.drain(); });

  std::vector<int> mismatches(kParsers, 0);
  std::vector<std::thread> parsers;
  for (int t = 0; t < kParsers; ++t) {
    parsers.emplace_back([&, t] {
      for (int round = 0; round < kRounds; ++round) {
        for (size_t i = 0; i < all.size(); ++i) {
          // Each thread walks the inputs from a different starting point.
          size_t k = (i + static_cast<size_t>(t) * 3) % all.size();
          ParseResult r = parse(all[k]);
          if (describe(r) != expected[k]) ++mismatches[t];
          queue.push(r.data);
          queue.push(r.error);
        }
      }
    });
  }
  for (std::thread& t : parsers) t.join();
  queue.close();
  for (std::thread& t : releasers) t.join();
  for (int t = 0; t < kParsers; ++t) EXPECT_EQ(mismatches[t], 0) << "thread " << t;
}

TEST(ApiThreadsTest, BufferMadeOnOneThreadReleasedOnAnother) {
  ParseResult onWorker;
  std::thread worker([&] { onWorker = vellum_parse_sql(nullptr, 0); });
  worker.join();
  ASSERT_NE(onWorker.error, nullptr);
  EXPECT_STREQ(onWorker.error, "SQL input pointer must not be null");
  vellum_free_buffer(onWorker.error);

  ParseResult onMain = vellum_parse_promql("up", 0);
  std::thread releaser([&] {
    vellum_free_buffer(onMain.data);
    vellum_free_buffer(onMain.error);
  });
  releaser.join();
}

}  // namespace

// A thread keeps some memory from one call to the next (the arena's largest
// chunk, the document scratch, a large document buffer released on it).
// Whatever an earlier call left there, every result equals that of a thread
// that has made no call before.
TEST(ApiThreadsTest, MemoryKeptBetweenCallsNeverChangesAResult) {
  auto repeated = [](const std::string& item, std::size_t times) {
    std::string text = "SELECT ";
    for (std::size_t i = 0; i < times; ++i) text += (i ? ", " : "") + item;
    return text + " FROM t";
  };
  const std::vector<Input> sequence = {
      {true, repeated("a + 1", 20000), 0},           // tree beyond the inline block and the scratch
      {true, "SELECT 'x''y', b FROM t", 0},          // short, in the memory the large call left
      {true, repeated("f(x, 'it''s')", 3000), 0},    // a middle size
      {true, repeated("a + 1", 20000) + " WHERE", 0},  // an error after a large tree
      {false, "sum by (job) (rate(x[5m]))", 0},
      {true, repeated("CASE WHEN a THEN b END", 40000), 0},
      {true, "SELECT 1", 0},
      {true, repeated("a + 1", 12000), 0},           // a large document in the buffer the one before left
      {true, repeated("a + 1", 40000), 0},           // and one that outgrows it
      {true, repeated("f(x, 'it''s')", 9000), 0},    // one of a size between
      {true, repeated("f(x, 'it''s')", 9000), 0},    // the same again, in the buffer its twin left
  };
  std::vector<std::string> fresh;
  for (const Input& input : sequence) {
    Input in = input;
    if (in.sql) in.len = static_cast<int32_t>(in.text.size());
    std::thread([&] {
      ParseResult r = parse(in);
      fresh.push_back(describe(r));
      vellum_free_buffer(r.data);
      vellum_free_buffer(r.error);
    }).join();
  }
  std::thread([&] {
    for (int round = 0; round < 2; ++round) {
      for (std::size_t i = 0; i < sequence.size(); ++i) {
        Input in = sequence[i];
        if (in.sql) in.len = static_cast<int32_t>(in.text.size());
        ParseResult r = parse(in);
        EXPECT_EQ(describe(r), fresh[i]) << "round " << round << ", input " << i;
        vellum_free_buffer(r.data);
        vellum_free_buffer(r.error);
      }
    }
  }).join();
}

// A large result released on a thread that did not make it is freed there;
// the thread that made it goes on with the same results, whether its next
// documents land in that memory again or not.
TEST(ApiThreadsTest, LargeResultReleasedOnAnotherThreadChangesNoResult) {
  auto script = [](int statements) {
    std::string text;
    for (int i = 0; i < statements; ++i) text += "SELECT a, b FROM t WHERE c = " + std::to_string(i) + ";\n";
    return Input{true, text, static_cast<int32_t>(text.size())};
  };
  const Input first = script(5000), second = script(7000);
  std::string expected[2];
  std::thread([&] {
    int k = 0;
    for (const Input* in : {&first, &second}) {
      ParseResult r = parse(*in);
      expected[k++] = describe(r);
      vellum_free_buffer(r.data);
    }
  }).join();
  std::thread([&] {
    ParseResult made = parse(first);
    EXPECT_EQ(describe(made), expected[0]);
    std::thread([&] { vellum_free_buffer(made.data); }).join();
    for (int round = 0; round < 3; ++round) {
      for (int k : {1, 0, 0}) {
        ParseResult r = parse(k == 0 ? first : second);
        EXPECT_EQ(describe(r), expected[k]) << "round " << round;
        vellum_free_buffer(r.data);
      }
    }
  }).join();
}

// A parse that runs while its thread ends, from the destructor of a
// thread-local made before the thread's first parse (so destroyed after the
// memory the library keeps for the thread): the same results, and nothing
// left behind for the leak checker of the sanitizer build.
struct ParseAtThreadExit {
  std::vector<std::string>* results = nullptr;
  std::vector<Input> inputs;
  ~ParseAtThreadExit() {
    for (Input in : inputs) {
      if (in.sql) in.len = static_cast<int32_t>(in.text.size());
      ParseResult r = parse(in);
      results->push_back(describe(r));
      vellum_free_buffer(r.data);
      vellum_free_buffer(r.error);
    }
  }
};

TEST(ApiThreadsTest, ParsesWhileTheThreadEnds) {
  std::string large = "SELECT a";
  for (int i = 0; i < 20000; ++i) large += " + a";
  const std::vector<Input> inputs = {
      {true, large, 0}, {true, "SELECT 'x''y', b FROM t", 0}, {false, "sum by (job) (rate(x[5m]))", 0}};
  std::vector<std::string> atExit;
  std::vector<std::string> before;
  std::thread([&] {
    thread_local ParseAtThreadExit late;
    late.results = &atExit;
    late.inputs = inputs;
    for (Input in : inputs) {
      if (in.sql) in.len = static_cast<int32_t>(in.text.size());
      ParseResult r = parse(in);
      before.push_back(describe(r));
      vellum_free_buffer(r.data);
      vellum_free_buffer(r.error);
    }
  }).join();
  EXPECT_EQ(atExit, before);
}
