"""Fingerprints: equal across spans and literal values, different otherwise,
and fixed for good."""
import pytest

import vellum_sql_parser as vp

SAME = [
    ("SELECT * FROM t WHERE a = 1", "select * from t where a = 2 -- x"),
    ("SELECT a FROM t LIMIT 10", "SELECT a\n  FROM t\n LIMIT 99"),
    ("SELECT 'x', INTERVAL '1 day', TRUE", "SELECT 'yy', INTERVAL '2 hours', FALSE"),
    ("SELECT cosine_distance(v, [0.1, 0.2]) FROM t", "SELECT cosine_distance(v, [1.5]) FROM t"),
    ("BEGIN", "begin"),
]
DIFFERENT = [
    ("SELECT * FROM t WHERE a = 1", "SELECT * FROM t WHERE b = 1"),
    ("SELECT * FROM t WHERE a = 1", "SELECT * FROM T WHERE a = 1"),  # names keep their case
    ("SELECT * FROM t WHERE a = 1", "SELECT * FROM t WHERE a > 1"),
    ("SELECT 1", "SELECT '1'"),  # a number is not a string
    ("SELECT 1", "SELECT ?"),
    ("SELECT a FROM t", "SELECT a FROM t AS t"),
    ("PRAGMA cache_size = 100", "PRAGMA cache_size = 200"),  # not a literal
]


@pytest.mark.parametrize("a,b", SAME)
def test_same(a, b):
    assert vp.fingerprint(a) == vp.fingerprint(b)


@pytest.mark.parametrize("a,b", DIFFERENT)
def test_different(a, b):
    assert vp.fingerprint(a) != vp.fingerprint(b)


def test_one_per_statement():
    a, b, c = vp.fingerprint("SELECT * FROM t WHERE a = 1; SELECT * FROM t WHERE a = 5; COMMIT")
    assert a == b != c and len(a) == 64 and int(a, 16) >= 0
    assert vp.fingerprint(" ;; ") == []
    with pytest.raises(vp.ParseError):
        vp.fingerprint("SELECT 1; SELECT (")


def test_fixed_canonical_text_and_digest():
    [select] = vp.parse_sql("SELECT 1")
    assert vp.canonical_text(select) == (
        '{"kind":{"variant":"Select","distinct":false,"distinct_on":[],"projection":[{"variant":"Expr","expr":'
        '{"kind":{"variant":"Literal","literal":{"variant":"Number"}}},"alias":null}],"from":[],"selection":null,'
        '"group_by":null,"having":null,"windows":[],"qualify":null,"set_operations":[],"order_by":[],"limit":null,'
        '"offset":null,"limit_with_ties":false}}')
    assert vp.fingerprint("SELECT 1") == ["dc1afd8ac8cc6c58dbe17acbe7e9c22ff453a226ddc8d474a8f4f006f8e49d85"]
    # Strings are escaped as json.dumps escapes them, so the text is ASCII;
    # a byte that is not UTF-8 keeps its surrogate escape.
    [named] = vp.parse_sql(b'SELECT 1 AS "a\\\tb\x7f\xc3\xa9\xf0\x9f\x98\x80\xff"')
    assert '"alias":"a\\\\\\tb\\u007f\\u00e9\\ud83d\\ude00\\udcff"' in vp.canonical_text(named)


def test_deep_statements():
    chain = vp.fingerprint("SELECT 1" + "+1" * 5000)
    assert chain == vp.fingerprint("SELECT 2" + "+3" * 5000) != vp.fingerprint("SELECT 1" + "-1" * 5000)
