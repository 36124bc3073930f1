/* Calls one parse export N times on one text, releasing both buffers each
 * time: the driver that bench/count_instructions.sh runs under callgrind. */
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include "vellum_sql_parser.h"

int main(int argc, char** argv) {
  if (argc != 4 || (strcmp(argv[1], "sql") != 0 && strcmp(argv[1], "promql") != 0)) {
    fprintf(stderr, "usage: call_loop sql|promql N TEXT\n");
    return 2;
  }
  int sql = strcmp(argv[1], "sql") == 0;
  long n = atol(argv[2]);
  const char* text = argv[3];
  long bytes = 0;
  for (long i = 0; i < n; ++i) {
    ParseResult r = sql ? vellum_parse_sql(text, (int32_t)strlen(text)) : vellum_parse_promql(text, 0);
    bytes += r.data_len;
    vellum_free_buffer(r.data);
    vellum_free_buffer(r.error);
  }
  printf("%ld\n", bytes);
  return 0;
}
