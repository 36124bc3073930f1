/* Parses one SQL text through the C interface and reports the outcome. */
#include <stdio.h>
#include <string.h>

#include "vellum_sql_parser.h"

int main(int argc, char** argv) {
    const char* sql = argc > 1 ? argv[1] : "SELECT id, name FROM users WHERE id = 1";
    ParseResult r = vellum_parse_sql(sql, (int32_t)strlen(sql));
    if (r.status == 0) {
        /* r.data holds r.data_len bytes of MessagePack: one entry per statement. */
        printf("parsed: %d bytes of MessagePack\n", (int)r.data_len);
    } else {
        fprintf(stderr, "error: %s\n", r.error);
    }
    vellum_free_buffer(r.data); /* both accept NULL */
    vellum_free_buffer(r.error);
    printf("library version %s\n", vellum_parser_version());
    return r.status;
}
