/*
 * vellum_sql_parser: SQL and PromQL text to MessagePack syntax trees.
 *
 * Five functions make up the whole interface. The two parse functions return
 * a ParseResult by value; its buffers belong to the caller and are released
 * with vellum_free_buffer (never with the host's own free).
 */
#ifndef VELLUM_SQL_PARSER_H
#define VELLUM_SQL_PARSER_H

#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

#if defined(VELLUM_BUILDING_LIBRARY)
#define VELLUM_API __attribute__((visibility("default")))
#else
#define VELLUM_API
#endif

typedef struct ParseResult {
    uint8_t status;    /* 0 = success, 1 = error */
    uint8_t* data;     /* success: MessagePack document, data_len bytes; error: NULL */
    int32_t data_len;  /* success: document length; error: 0 */
    char* error;       /* error: NUL-terminated message; success: NULL */
    int32_t error_len; /* error: message length without the NUL; success: 0 */
} ParseResult;

/* Parses len bytes of SQL text (not NUL-terminated, at most 1048576 bytes,
 * no NUL byte) into an array with one entry per statement. */
VELLUM_API ParseResult vellum_parse_sql(const char* src, int32_t len);

/* Parses one PromQL expression. src must be NUL-terminated; len <= 0 means
 * the whole string, len > 0 the first len bytes of it. */
VELLUM_API ParseResult vellum_parse_promql(const char* src, int32_t len);

/* Releases a data or error buffer of a ParseResult; NULL is accepted.
 * May be called on any thread. */
VELLUM_API void vellum_free_buffer(void* p);

/* The library version, a static string ("0.25.0"); do not release it. */
VELLUM_API const char* vellum_parser_version(void);

/* Runs the library's initialisation again (it also runs when the library is
 * loaded); safe to call any number of times. */
VELLUM_API void vellum_parser_init(void);

#ifdef __cplusplus
}
#endif

#endif /* VELLUM_SQL_PARSER_H */
