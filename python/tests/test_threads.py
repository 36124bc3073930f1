"""Calls from many threads at once give what single calls give."""
import threading

import vellum_sql_parser as vp

TEXTS = [
    ("sql", "SELECT a, SUM(b) FROM t JOIN u ON t.id = u.id GROUP BY a ORDER BY 2 DESC LIMIT 10"),
    ("sql", "WITH x AS (SELECT 1) SELECT * FROM x; COMMIT"),
    ("sql", "SELECT (1"),
    ("promql", "sum by (job) (rate(x[5m]))"),
    ("promql", "sum("),
]


def outcome(language, text):
    try:
        return (vp.parse_sql_msgpack if language == "sql" else vp.parse_promql_msgpack)(text)
    except vp.VellumError as e:
        return (type(e), str(e))


def test_threads_agree_with_single_calls():
    expected = [outcome(*t) for t in TEXTS]
    mismatches = []

    def work(seed):
        for i in range(300):
            k = (seed + i) % len(TEXTS)
            if outcome(*TEXTS[k]) != expected[k]:
                mismatches.append(k)

    threads = [threading.Thread(target=work, args=(n,)) for n in range(8)]
    for thread in threads:
        thread.start()
    for thread in threads:
        thread.join()
    assert mismatches == []
