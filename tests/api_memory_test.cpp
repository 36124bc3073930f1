// Memory exhaustion. This binary puts its own malloc, realloc and
// aligned_alloc in front of the C library's, so that the library's
// allocations (its own and those of the C++ runtime inside it) can be made to
// fail one at a time: the n-th allocation of a call, or the n-th and all
// after it, for every n up to the number the call makes. Whatever fails,
// the call must answer with the document it gives without failures or with
// the out-of-memory defect, free everything it took but its result and the
// memory a thread keeps by design, and leave the thread fit for the next
// call. The allocator's own entry points are glibc's; sanitizer builds
// replace malloc themselves. Elsewhere these tests are skipped.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include "support/text.h"
#include "vellum_sql_parser.h"

#if defined(__has_feature)
#if __has_feature(address_sanitizer) || __has_feature(thread_sanitizer) || __has_feature(memory_sanitizer)
#define VELLUM_TEST_SANITIZED 1
#endif
#endif
#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
#define VELLUM_TEST_SANITIZED 1
#endif
#if defined(__GLIBC__) && !defined(VELLUM_TEST_SANITIZED)
#define VELLUM_TEST_OWN_MALLOC 1
#endif

#ifdef VELLUM_TEST_OWN_MALLOC

namespace {

// The failure plan of this thread: -1 is off; otherwise the number of
// allocations still to succeed. `sticky` fails every one after the first
// failure too. `made` counts the allocations asked for while a plan is on.
// While `inLibrary` is set (during the calls into the library), `live`
// counts the blocks allocated less those freed: the blocks the library holds.
thread_local long countdown = -1;
thread_local bool inLibrary = false;
thread_local bool sticky = false;
thread_local long made = 0;
thread_local long live = 0;

bool failThisOne() {
  if (countdown < 0) return false;
  ++made;
  if (countdown > 0) {
    --countdown;
    return false;
  }
  if (!sticky) countdown = -1;
  return true;
}

}  // namespace

extern "C" {
void* __libc_malloc(std::size_t size);
void* __libc_realloc(void* p, std::size_t size);
void* __libc_memalign(std::size_t alignment, std::size_t size);
void __libc_free(void* p);

void* malloc(std::size_t size) {
  if (failThisOne()) return nullptr;
  void* p = __libc_malloc(size);
  if (p != nullptr && inLibrary) ++live;
  return p;
}
void* realloc(void* p, std::size_t size) {
  if (failThisOne()) return nullptr;
  void* q = __libc_realloc(p, size);
  if (p == nullptr && q != nullptr && inLibrary) ++live;
  return q;
}
void* aligned_alloc(std::size_t alignment, std::size_t size) {
  if (failThisOne()) return nullptr;
  void* p = __libc_memalign(alignment, size);
  if (p != nullptr && inLibrary) ++live;
  return p;
}
void free(void* p) {
  if (p != nullptr && inLibrary) --live;
  __libc_free(p);
}
}

namespace {

constexpr char kOutOfMemory[] = "error: internal parser defect (this is a parser bug, not invalid SQL): out of memory";

struct Input {
  const char* name;
  bool sql;
  std::string text;
};

// What a call answers: the document, or "error: " and the text; with the
// failure plan given, which is switched off again before anything else is
// allocated.
std::string call(const Input& in, long failAt = -1, bool failAfter = false) {
  sticky = failAfter;
  made = 0;
  countdown = failAt;
  inLibrary = true;
  ParseResult r = in.sql ? vellum_parse_sql(in.text.data(), static_cast<int32_t>(in.text.size()))
                         : vellum_parse_promql(in.text.c_str(), static_cast<int32_t>(in.text.size()));
  countdown = -1;
  inLibrary = false;
  std::string out;
  if (r.status == 0) {
    out.assign(reinterpret_cast<const char*>(r.data), static_cast<std::size_t>(r.data_len));
  } else {
    out = "error: ";
    out.append(r.error, static_cast<std::size_t>(r.error_len));
  }
  inLibrary = true;
  vellum_free_buffer(r.data);
  vellum_free_buffer(r.error);
  inLibrary = false;
  return out;
}

const std::vector<Input>& inputs() {
  static const std::vector<Input> all = {
      {"every statement family", true,
       "WITH c AS (SELECT 1 AS x) SELECT DISTINCT a, 'it''s', b->>'k', CASE WHEN a THEN 1 END, count(*) "
       "OVER (PARTITION BY b ORDER BY c ROWS BETWEEN 1 PRECEDING AND CURRENT ROW) FROM t JOIN u ON t.a = u.a, "
       "(SELECT 1) d WHERE a IN (1, 2) AND b BETWEEN 1 AND 2 GROUP BY ROLLUP (a, b) HAVING count(*) > 1 "
       "ORDER BY 1 LIMIT 10 OFFSET 5; INSERT INTO t (a, b) VALUES (1, 'x'), (2, 'y') ON CONFLICT (a) DO NOTHING "
       "RETURNING a; UPDATE t SET a = 1 WHERE b = 2; DELETE FROM t WHERE a = 1; "
       "MERGE INTO t USING u ON t.a = u.a WHEN MATCHED THEN DELETE; "
       "CREATE TABLE v (id INT PRIMARY KEY, e VECTOR(3, cosine), CHECK (id > 0)); "
       "CREATE INDEX i ON v USING hnsw (e); ALTER TABLE v ADD COLUMN n TEXT; DROP TABLE v; "
       "COPY t FROM 'f.csv' WITH (FORMAT csv); EXPLAIN SELECT 1; BEGIN; COMMIT"},
      {"a continuous aggregate (staged writing)", true,
       "CREATE CONTINUOUS AGGREGATE m AS SELECT time_bucket('1h', ts) AS b, avg(v) FROM cpu GROUP BY 1 "
       "WITH (retention = '30d', refresh_interval = '1m'); SELECT 1"},
      {"a script that grows the tree's memory and the document", true,
       vellum_test::repeat("SELECT a + 1, 'text' FROM t;", 4000)},
      {"a syntax error", true, "SELECT a, b FROM t WHERE (c = "},
      {"a nesting error", true, "SELECT " + vellum_test::repeat("(", 129) + "1" + vellum_test::repeat(")", 129)},
      {"a PromQL query", false, "sum by (job) (rate(http_requests_total{code=~\"5..\"}[5m] offset 1h)) / 2"},
      {"a long PromQL sum", false, vellum_test::repeat("a + ", 20000) + "a"},
      {"a PromQL syntax error", false, "sum(rate(x[5m]) by"},
  };
  return all;
}

TEST(ApiMemoryTest, EveryFailedAllocationEndsTheCallCleanly) {
  for (const Input& in : inputs()) {
    SCOPED_TRACE(in.name);
    const std::string expected = call(in);
    ASSERT_TRUE(call(in) == expected);
    // How many allocations a call makes, on a thread that has made calls
    // before (and keeps what a thread keeps).
    call(in, 1L << 40);
    const long allocations = made;
    ASSERT_GT(allocations, 0);
    const long liveBetweenCalls = live;
    int outOfMemory = 0;
    for (bool failAfter : {false, true}) {
      for (long n = 0; n < allocations; ++n) {
        SCOPED_TRACE("allocation " + std::to_string(n) + (failAfter ? " and after" : ""));
        const std::string got = call(in, n, failAfter);
        if (got == kOutOfMemory) {
          ++outOfMemory;
        } else {
          EXPECT_EQ(got.size(), expected.size()) << got.substr(0, 200);
          EXPECT_TRUE(got == expected);
        }
        EXPECT_TRUE(call(in) == expected) << "the call after a failure";
        EXPECT_EQ(live, liveBetweenCalls) << "blocks left behind";
      }
    }
    EXPECT_GT(outOfMemory, 0);
  }
}

TEST(ApiMemoryTest, TheFirstCallOfAThreadCanFailToo) {
  // A fresh thread has no kept memory yet, so its first call sets that up
  // too: every allocation of it can fail, and the next call on the thread
  // still works.
  for (const Input& in : inputs()) {
    SCOPED_TRACE(in.name);
    const std::string expected = call(in);
    long allocations = 0;
    std::thread([&] {
      call(in, 1L << 40);
      allocations = made;
    }).join();
    ASSERT_GT(allocations, 0);
    for (long n = 0; n < allocations; ++n) {
      std::string first;
      std::string second;
      std::thread([&] {
        first = call(in, n, true);
        second = call(in);
      }).join();
      EXPECT_TRUE(first == expected || first == kOutOfMemory) << "allocation " << n << ": " << first.substr(0, 200);
      EXPECT_TRUE(second == expected) << "allocation " << n << ": " << second.substr(0, 200);
    }
  }
}

}  // namespace

#else

TEST(ApiMemoryTest, NeedsGlibcMallocWithoutSanitizers) { GTEST_SKIP() << "malloc cannot be replaced here"; }

#endif
