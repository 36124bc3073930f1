#!/usr/bin/env python3
"""Writes the fuzz seed corpus, fuzz/seeds/{sql,promql,staged}/, and the
dictionaries fuzz/sql.dict and fuzz/promql.dict.

SQL and PromQL seeds are a small, varied sample of the real-world corpus
(../shared/corpus beside the repository), plus texts of the dialect's own
extensions that the corpus does not hold. Staged seeds are writer programs
(see staged_fuzz.cpp). The output is deterministic: run it again after the
corpus changes and commit the result.

    python3 fuzz/make_seeds.py [CORPUS_DIR]
"""
import base64
import hashlib
import json
import pathlib
import re
import shutil
import sys

HERE = pathlib.Path(__file__).resolve().parent
CORPUS = pathlib.Path(sys.argv[1]) if len(sys.argv) > 1 else HERE.parent.parent / "shared" / "corpus"
SEEDS = HERE / "seeds"

SQL_TOTAL = 260       # corpus texts sampled for SQL
PROMQL_TOTAL = 160    # and for PromQL
MAX_TEXT = 1200       # longer texts are left out: seeds stay small

SQL_EXTRA = [
    "CREATE CONTINUOUS AGGREGATE m AS SELECT time_bucket('1h', ts) AS b, avg(v) FROM t GROUP BY 1 "
    "WITH (refresh_interval = '5m', retention = '30d')",
    "CREATE TABLE e (id INT PRIMARY KEY, v VECTOR(3, cosine), CHECK (id > 0), n TEXT DEFAULT 'x' CHECK (n <> ''))",
    "CREATE INDEX i ON e USING hnsw (v) WITH (m = 16)",
    "SELECT [1.0, 2.5, 3] AS v, j->'a'->>'b', j#>'{a,b}', j#>>'{c}' FROM e QUALIFY row_number() OVER w = 1 "
    "WINDOW w AS (PARTITION BY id ORDER BY v ROWS BETWEEN 1 PRECEDING AND CURRENT ROW)",
    "MERGE INTO t AS x USING (SELECT 1 AS id) AS s ON x.id = s.id WHEN MATCHED AND x.a > 0 THEN UPDATE SET a = 1 "
    "WHEN MATCHED THEN DELETE WHEN NOT MATCHED AND s.id < 9 THEN INSERT (id) VALUES (s.id) RETURNING *",
    "INSERT INTO t (a, b) SELECT 1, 2 ON CONFLICT (a) DO UPDATE SET b = excluded.b WHERE t.b < 3 RETURNING a",
    "INSERT INTO t VALUES (1, 'a'), (2, 'b') ON CONFLICT DO NOTHING",
    "UPDATE t SET a = a + 1, b = DEFAULT FROM u WHERE t.id = u.id RETURNING t.a",
    "DELETE FROM t USING (SELECT 1 AS id) AS d WHERE t.id = d.id RETURNING *",
    "COPY t (a, b) FROM STDIN WITH (FORMAT csv, HEADER true)",
    "COPY (SELECT * FROM t) TO 'out.csv'",
    "ALTER TABLE t ADD COLUMN c INT DEFAULT 0 CHECK (c >= 0), ALTER COLUMN a SET DEFAULT 1, DROP COLUMN IF EXISTS b",
    "ALTER SEQUENCE s RESTART WITH 10 INCREMENT BY 2",
    "CREATE SEQUENCE IF NOT EXISTS s START 1 INCREMENT 1 MINVALUE 1 MAXVALUE 100 CACHE 5 CYCLE",
    "DROP TABLE IF EXISTS a, b CASCADE; TRUNCATE TABLE t",
    "CREATE VIEW v (a) AS WITH RECURSIVE r AS (SELECT 1 UNION ALL SELECT a + 1 FROM r) SELECT * FROM r",
    "SELECT a FROM t GROUP BY GROUPING SETS ((a), ROLLUP (b, c), CUBE (d)) HAVING count(*) FILTER (WHERE a > 1) > 0",
    "EXPLAIN ANALYZE (FORMAT JSON) SELECT * FROM t; PRAGMA x = 1; SHOW TABLES; DESCRIBE t",
    "BEGIN ISOLATION LEVEL SERIALIZABLE, READ ONLY; SAVEPOINT s; ROLLBACK TO SAVEPOINT s; RELEASE s; COMMIT",
    "SELECT CAST(a AS DECIMAL(10, 2)), TRY_CAST(b AS INT), $1, ?, x'ff', E'\\n', INTERVAL '1' DAY, a::text",
]

PROMQL_EXTRA = [
    'sum by (job) (rate(http_requests_total{job="api", code=~"5.."}[5m] offset -1h))',
    "avg without () (x) / ignoring_not_here + -2 ^ 3 % 4",
    'count({__name__="up"}) * 1e3 - 0x1f + "str"',
]


# Words the SQL grammar matches as identifiers, beside the keywords of
# src/sql/tokens.def.
SQL_WORDS = """
    lateral ordinality rollup cube grouping sets percent unbounded preceding following current
    isolation level repeatable read uncommitted committed serializable write deferred immediate
    exclusive tables indexes show describe desc merge copy truncate analyze format within filter
    unknown returning conflict do nothing matched stdin stdout csv header delimiter continuous
    aggregate retention refresh_interval sequence view column add rename restart increment
    minvalue maxvalue cache cycle owned none no generated always identity initially deferrable
    cascade restrict action replace excluded time_bucket try_cast integer numeric type data
""".split()
SQL_OPERATORS = [
    "=", "!=", "<>", "<", "<=", ">", ">=", "+", "-", "*", "/", "%", "||", "->", "->>", "#>", "#>>",
    "&", "|", "^", "~", "<<", ">>", "?", "::", ":", ".", ",", ";", "(", ")", "[", "]", "$1", "'",
    "\"", "''", "--", "/*", "*/", "E'", "X'", "\n", "1.5e-3",
]
PROMQL_WORDS = """
    sum min max avg count by without offset rate irate increase delta histogram_quantile
    label_replace abs vector scalar time __name__ job instance le Inf NaN bool on ignoring
    group_left group_right and or unless
""".split()
PROMQL_OPERATORS = [
    "{", "}", "[", "]", "(", ")", ",", "=", "!=", "=~", "!~", "+", "-", "*", "/", "%", "^", "==",
    "\"", "'", "`", "\\", "5m", "1h", "30s", "1d", "1w", "1y", "100ms", "1h30m", "0x1f", "1e3",
    ".5", "#", "\n",
]


def dictionary_entry(text):
    escaped = "".join(c if " " <= c <= "~" and c not in '"\\' else f"\\x{ord(c):02x}" for c in text)
    return f'"{escaped}"'


def write_dictionary(name, entries):
    seen = []
    for entry in entries:
        if entry not in seen:
            seen.append(entry)
    lines = [f"# {name}: generated by fuzz/make_seeds.py"] + [dictionary_entry(e) for e in seen]
    (HERE / name).write_text("\n".join(lines) + "\n")
    print(f"{name}: {len(seen)} entries")


def sql_keywords():
    tokens = (HERE.parent / "src" / "sql" / "tokens.def").read_text()
    return re.findall(r'SQL_KEYWORD\(\w+, "([a-z0-9_]+)"\)', tokens)


def read_jsonl(path):
    texts = []
    for line in path.read_text(encoding="utf-8").splitlines():
        if not line.strip():
            continue
        record = json.loads(line)
        if isinstance(record, str):
            texts.append(record.encode("utf-8"))
        elif isinstance(record, dict) and "base64" in record:
            texts.append(base64.b64decode(record["base64"]))
    return texts


def sample(texts, count):
    """Up to `count` texts spread over the leading words and the lengths."""
    texts = sorted({t for t in texts if 0 < len(t) <= MAX_TEXT and b"\0" not in t})
    groups = {}
    for t in texts:
        word = t.split(None, 1)[0][:12].upper() if t.split() else b""
        groups.setdefault(word, []).append(t)
    for group in groups.values():
        group.sort(key=lambda t: (len(t), t))
    chosen = []
    # Round robin over the groups, taking each group's texts from evenly
    # spaced lengths, until `count` are chosen.
    rounds = 0
    while len(chosen) < count and any(groups.values()):
        for word in sorted(groups):
            group = groups[word]
            if not group:
                continue
            step = max(1, len(group) // 8)
            index = (rounds * step) % len(group)
            chosen.append(group.pop(index))
            if len(chosen) == count:
                break
        rounds += 1
    return chosen


def write_dir(name, blobs):
    target = SEEDS / name
    shutil.rmtree(target, ignore_errors=True)
    target.mkdir(parents=True)
    blobs = sorted(set(blobs))
    for blob in blobs:
        (target / hashlib.sha1(blob).hexdigest()[:16]).write_bytes(blob)
    print(f"{name}: {len(blobs)} seeds, {sum(len(b) for b in blobs)} bytes")


def staged_programs():
    """Writer programs: one opcode byte per step, then its operands."""
    NIL, BOOL, INT, UINT, FLOAT, STR, ARRAY, MAP, RAW, NEST, NILS, ONE_PASS, SPLIT = range(13)
    def raw(*b):
        return bytes([RAW, len(b)]) + bytes(b)
    def small(n):  # a small container count: count() mode 0
        return (n * 4) & 0xff
    return [
        bytes([NIL]),
        bytes([BOOL, 1]),
        bytes([INT, 7, 0x80, 0, 0, 0, 0, 0, 0, 0]),
        bytes([UINT, 7, 0xff, 0xff, 0xff, 0xff, 0xff, 0xff, 0xff, 0xff]),
        bytes([FLOAT, 0x7f, 0xf8, 0, 0, 0, 0, 0, 0]),
        bytes([ARRAY, small(3), NIL, BOOL, 0, STR, 0, 40, 0xc1]),
        bytes([MAP, small(2), STR, 0, 3, 0x61, NIL, STR, 0, 1, 0x62, ARRAY, small(0)]),
        bytes([ARRAY, small(2), NIL]),                      # a count with too few values
        bytes([ARRAY, small(1), NIL, NIL]),                 # two top-level values
        bytes([NEST, 128, NIL]),
        bytes([NEST, 128, ARRAY, small(0)]),                # 129 containers
        bytes([NEST, 127, NIL]),
        bytes([STR, 7, 0x10, 0x00, 0x00, 0x20]),            # a 1 MiB string: one byte too many
        bytes([STR, 7, 0x0f, 0xff, 0xfb, 0x20]),            # a document of exactly 1 MiB
        bytes([ARRAY, 2, 0xff, 0xff, NILS, 7, 0xff, 0xff]),    # 65535 nils in a 65535-element array
        bytes([SPLIT, STR, 0, 200, 0x41]),                  # 0xd9 header split from its length
        raw(0xd9),
        raw(0xc1),
        raw(0xc7, 0x02, 0x05, 0x01, 0x02),                  # ext 8
        raw(0xd4, 0x01, 0x02),                              # fixext 1
        raw(0xc4, 0x00, 0xdf, 0x00, 0x00, 0x00, 0x01, NIL, NIL),
        bytes([ONE_PASS, 1, NIL, NIL]),                     # the second value in the writing pass only
        bytes([ARRAY, small(1), ONE_PASS, 0, STR, 0, 2, 0x30, STR, 0, 2, 0x31]),
        bytes([ARRAY, small(1), ONE_PASS, 1, STR, 0, 3, 0x30, ONE_PASS, 0, STR, 0, 2, 0x31]),
        bytes([MAP, 3, 0xff, 0xff, 0xff, 0xff, NIL]),
        bytes([SPLIT, MAP, small(1), INT, 2, 0xff, 0x00, FLOAT, 1, 2, 3, 4, 5, 6, 7, 8]),
    ]


def main():
    sql = []
    promql = []
    sql_files = sorted((CORPUS / "sql").glob("*.jsonl"))
    prom_files = sorted((CORPUS / "promql").glob("*.jsonl"))
    for path in sql_files:
        sql += sample(read_jsonl(path), SQL_TOTAL // len(sql_files))
    for path in prom_files:
        promql += sample(read_jsonl(path), PROMQL_TOTAL // len(prom_files))
    write_dir("sql", sql + [t.encode() for t in SQL_EXTRA])
    write_dir("promql", promql + [t.encode() for t in PROMQL_EXTRA])
    write_dir("staged", staged_programs())
    write_dictionary("sql.dict", sql_keywords() + SQL_WORDS + SQL_OPERATORS)
    write_dictionary("promql.dict", PROMQL_WORDS + PROMQL_OPERATORS)


if __name__ == "__main__":
    main()
