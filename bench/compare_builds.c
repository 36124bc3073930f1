/* Times two or more builds of the library against each other in one run, on
 * the same inputs, with the rounds interleaved so that a busy machine slows
 * every build alike; each figure is the best round.
 *   compare_builds SQL_TEXTS PROMQL_TEXTS ROUNDS LIB.so [LIB.so ...]
 * SQL_TEXTS and PROMQL_TEXTS hold texts separated by NUL bytes; only the
 * texts that every build accepts are timed. Besides the two corpora it times
 * the short SQL statement and the PromQL dashboard query of the benchmarks. */
#include <dlfcn.h>
#include <stdint.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <time.h>

#include "vellum_sql_parser.h"

typedef ParseResult (*ParseFn)(const char*, int32_t);
typedef void (*FreeFn)(void*);

struct Build {
  const char* path;
  ParseFn sql, promql;
  FreeFn release;
};

struct Texts {
  char** text;
  int32_t* len;
  size_t count, bytes;
};

static double now(void) {
  struct timespec t;
  clock_gettime(CLOCK_MONOTONIC, &t);
  return (double)t.tv_sec + (double)t.tv_nsec * 1e-9;
}

static int accepts(const struct Build* b, int sql, const char* text, int32_t len) {
  ParseResult r = sql ? b->sql(text, len) : b->promql(text, len);
  b->release(r.data);
  b->release(r.error);
  return r.status == 0;
}

/* The texts of FILE that every build accepts. */
static struct Texts load(const char* file, int sql, const struct Build* builds, int nbuilds) {
  struct Texts t = {0};
  FILE* f = fopen(file, "rb");
  if (f == NULL) {
    perror(file);
    exit(2);
  }
  fseek(f, 0, SEEK_END);
  long n = ftell(f);
  fseek(f, 0, SEEK_SET);
  char* all = malloc((size_t)n + 1);
  if (fread(all, 1, (size_t)n, f) != (size_t)n) exit(2);
  all[n] = '\0';
  fclose(f);
  t.text = malloc(sizeof(char*) * ((size_t)n + 1));
  t.len = malloc(sizeof(int32_t) * ((size_t)n + 1));
  for (char* s = all; s < all + n; s += strlen(s) + 1) {
    int32_t len = (int32_t)strlen(s);
    int ok = len > 0;
    for (int i = 0; ok && i < nbuilds; ++i) ok = accepts(&builds[i], sql, s, len);
    if (!ok) continue;
    t.text[t.count] = s;
    t.len[t.count++] = len;
    t.bytes += (size_t)len;
  }
  return t;
}

/* Seconds for `reps` passes over the texts. */
static double pass(const struct Build* b, int sql, const struct Texts* t, int reps) {
  double start = now();
  for (int r = 0; r < reps; ++r) {
    for (size_t i = 0; i < t->count; ++i) {
      ParseResult res = sql ? b->sql(t->text[i], t->len[i]) : b->promql(t->text[i], t->len[i]);
      b->release(res.data);
      b->release(res.error);
    }
  }
  return (now() - start) / reps;
}

int main(int argc, char** argv) {
  if (argc < 5) {
    fprintf(stderr, "usage: compare_builds SQL_TEXTS PROMQL_TEXTS ROUNDS LIB.so [LIB.so ...]\n");
    return 2;
  }
  int rounds = atoi(argv[3]);
  int nbuilds = argc - 4;
  struct Build* builds = calloc((size_t)nbuilds, sizeof *builds);
  for (int i = 0; i < nbuilds; ++i) {
    void* h = dlopen(argv[4 + i], RTLD_NOW | RTLD_LOCAL);
    if (h == NULL) {
      fprintf(stderr, "%s\n", dlerror());
      return 2;
    }
    builds[i].path = argv[4 + i];
    builds[i].sql = (ParseFn)dlsym(h, "vellum_parse_sql");
    builds[i].promql = (ParseFn)dlsym(h, "vellum_parse_promql");
    builds[i].release = (FreeFn)dlsym(h, "vellum_free_buffer");
  }
  struct Texts sql = load(argv[1], 1, builds, nbuilds);
  struct Texts promql = load(argv[2], 0, builds, nbuilds);
  static char shortSql[] = "SELECT a, b FROM t WHERE c = 1";
  static char dashboard[] = "sum by (job) (rate(http_requests_total{code=~\"5..\"}[5m]))";
  char* shortText[] = {shortSql};
  int32_t shortLen[] = {(int32_t)strlen(shortSql)};
  char* dashText[] = {dashboard};
  int32_t dashLen[] = {(int32_t)strlen(dashboard)};
  struct Texts shortT = {shortText, shortLen, 1, 0};
  struct Texts dashT = {dashText, dashLen, 1, 0};
  double best[4][8];
  for (int k = 0; k < 4; ++k)
    for (int i = 0; i < nbuilds; ++i) best[k][i] = 1e30;
  for (int r = 0; r < rounds; ++r) {
    for (int i = 0; i < nbuilds; ++i) {
      double s[4] = {pass(&builds[i], 1, &sql, 3), pass(&builds[i], 0, &promql, 10),
                     pass(&builds[i], 1, &shortT, 200000), pass(&builds[i], 0, &dashT, 200000)};
      for (int k = 0; k < 4; ++k)
        if (s[k] < best[k][i]) best[k][i] = s[k];
    }
  }
  printf("SQL: %zu texts, %zu bytes; PromQL: %zu texts, %zu bytes\n", sql.count, sql.bytes, promql.count,
         promql.bytes);
  for (int i = 0; i < nbuilds; ++i) {
    printf("%s\n  SQL texts %.1f MB/s, PromQL texts %.1f MB/s, short SQL %.0f ns, PromQL dashboard query %.0f ns\n",
           builds[i].path, (double)sql.bytes / best[0][i] / 1e6, (double)promql.bytes / best[1][i] / 1e6,
           best[2][i] * 1e9, best[3][i] * 1e9);
  }
  return 0;
}
