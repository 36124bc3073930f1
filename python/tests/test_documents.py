"""Documents as the C tests expect them, decoded with msgpack, keys in order."""
import json

import msgpack
import pytest

import vellum_sql_parser as vp
from vellum_sql_parser._decode import decode_deep


def without_spans(value):
    if isinstance(value, dict):
        return {k: without_spans(v) for k, v in value.items() if k != "span"}
    if isinstance(value, list):
        return [without_spans(v) for v in value]
    return value


def same_json(got, expected_json):
    # Compared as text, so that the key order counts as well.
    assert json.dumps(got) == json.dumps(json.loads(expected_json))


SELECT_1 = ('{"variant":"Select","distinct":false,"distinct_on":[],"projection":[{"variant":"Expr","expr":'
            '{"kind":{"variant":"Literal","literal":{"variant":"Number","value":"1"}}},"alias":null}],'
            '"from":[],"selection":null,"group_by":null,"having":null,"windows":[],"qualify":null,'
            '"set_operations":[],"order_by":[],"limit":null,"offset":null,"limit_with_ties":false}')

SQL_DOCUMENTS = [
    ("WITH r AS (VALUES (1)) SELECT CASE x WHEN 1 THEN 'one' END FROM r LIMIT 1",
     '[{"kind":{"variant":"Select","with":{"recursive":false,"ctes":[{"name":"r","columns":[],"query":'
     '{"variant":"Values","rows":[[{"kind":{"variant":"Literal","literal":{"variant":"Number","value":"1"}}}]],'
     '"set_operations":[],"order_by":[],"limit":null,"offset":null,"limit_with_ties":false}}]},'
     '"distinct":false,"distinct_on":[],"projection":[{"variant":"Expr","expr":{"kind":{"variant":"Case",'
     '"operand":{"kind":{"variant":"ColumnRef","table":null,"column":"x"}},"branches":[{"when":{"kind":'
     '{"variant":"Literal","literal":{"variant":"Number","value":"1"}}},"then":{"kind":{"variant":"Literal",'
     '"literal":{"variant":"String","value":"one"}}}}],"else_expr":null}},"alias":null}],'
     '"from":[{"variant":"Table","name":"r","alias":null,"columns":[]}],"selection":null,"group_by":null,'
     '"having":null,"windows":[],"qualify":null,"set_operations":[],"order_by":[],'
     '"limit":{"kind":{"variant":"Literal","literal":{"variant":"Number","value":"1"}}},"offset":null,'
     '"limit_with_ties":false}}]'),
    ("SAVEPOINT s; SET TRANSACTION ISOLATION LEVEL READ UNCOMMITTED; PRAGMA page_size",
     '[{"kind":{"variant":"Savepoint","name":"s"}},'
     '{"kind":{"variant":"SetTransaction","isolation_level":"ReadUncommitted","access_mode":null}},'
     '{"kind":{"variant":"Pragma","name":"page_size","value":null}}]'),
    ("BEGIN; COMMIT",
     '[{"kind":{"variant":"Begin","isolation_level":null,"access_mode":null}},{"kind":{"variant":"Commit"}}]'),
    ("START TRANSACTION ISOLATION LEVEL READ COMMITTED, READ WRITE",
     '[{"kind":{"variant":"Begin","isolation_level":"ReadCommitted","access_mode":"ReadWrite"}}]'),
    ("PRAGMA x = 9223372036854775807; SHOW INDEXES FROM metrics; DESC TABLE u",
     '[{"kind":{"variant":"Pragma","name":"x","value":9223372036854775807}},'
     '{"kind":{"variant":"Pragma","name":"show_indexes","value":"metrics"}},'
     '{"kind":{"variant":"Pragma","name":"describe","value":"u"}}]'),
    ("EXPLAIN ANALYZE SELECT 1",
     '[{"kind":{"variant":"Explain","analyze":true,"format":"Text","statement":{"kind":' + SELECT_1 + '}}}]'),
    ("SELECT ?; SELECT ?", '[' + ','.join(['{"kind":' + SELECT_1.replace(
        '{"variant":"Literal","literal":{"variant":"Number","value":"1"}}', '{"variant":"Parameter","index":1}') + '}'] * 2)
     + ']'),
    ("", "[]"),
    (" ;; -- nothing\n;", "[]"),
]


@pytest.mark.parametrize("sql,expected", SQL_DOCUMENTS)
def test_sql_documents(sql, expected):
    same_json(without_spans(vp.parse_sql(sql)), expected)
    assert vp.parse_sql(sql.encode()) == vp.parse_sql(bytearray(sql.encode())) == vp.parse_sql(memoryview(sql.encode()))


def test_sql_document_with_spans():
    same_json(vp.parse_sql("SELECT x\n  FROM t;"),
              '[{"kind":{"variant":"Select","distinct":false,"distinct_on":[],"projection":[{"variant":"Expr",'
              '"expr":{"kind":{"variant":"ColumnRef","table":null,"column":"x"},'
              '"span":{"start":{"line":1,"column":8},"end":{"line":1,"column":8}}},"alias":null,'
              '"span":{"start":{"line":1,"column":8},"end":{"line":1,"column":8}}}],'
              '"from":[{"variant":"Table","name":"t","alias":null,"columns":[],'
              '"span":{"start":{"line":2,"column":8},"end":{"line":2,"column":8}}}],'
              '"selection":null,"group_by":null,"having":null,"windows":[],"qualify":null,"set_operations":[],'
              '"order_by":[],"limit":null,"offset":null,"limit_with_ties":false},'
              '"span":{"start":{"line":1,"column":1},"end":{"line":1,"column":6}}}]')


PROMQL_DOCUMENTS = [
    ('sum by (job) (rate(http_requests_total{code=~"5.."}[5m]))',
     '{"kind":{"variant":"Aggregate","op":"sum","expr":{"kind":{"variant":"FunctionCall","name":"rate","args":['
     '{"kind":{"variant":"MatrixSelector","selector":{"kind":{"variant":"VectorSelector",'
     '"metric":"http_requests_total","matchers":[{"name":"code","op":"Regex","value":"5.."}],"offset":null}},'
     '"range":{"raw":"5m","milliseconds":300000},"offset":null}}]}},"grouping":["job"],"without":false}}'),
    ("-x % 2",
     '{"kind":{"variant":"BinaryOp","left":{"kind":{"variant":"UnaryOp","op":"Minus","expr":{"kind":'
     '{"variant":"VectorSelector","metric":"x","matchers":[],"offset":null}}}},"op":"Mod",'
     '"right":{"kind":{"variant":"NumberLiteral","value":"2"}}}}'),
    ("1e999", '{"kind":{"variant":"NumberLiteral","value":"1e999"}}'),
]


@pytest.mark.parametrize("text,expected", PROMQL_DOCUMENTS)
def test_promql_documents(text, expected):
    same_json(without_spans(vp.parse_promql(text)), expected)


def test_promql_spans_count_bytes():
    same_json(vp.parse_promql('{a="\u00e9"}'),
              '{"kind":{"variant":"VectorSelector","metric":null,"matchers":[{"name":"a","op":"Equal","value":"\u00e9",'
              '"span":{"start":{"line":1,"column":2,"offset":1},"end":{"line":1,"column":8,"offset":7}}}],'
              '"offset":null},"span":{"start":{"line":1,"column":1,"offset":0},"end":{"line":1,"column":9,"offset":8}}}')


def test_raw_documents_are_the_decoded_ones():
    raw = vp.parse_sql_msgpack("SELECT 1")
    assert isinstance(raw, bytes) and raw[0] == 0x91
    assert msgpack.unpackb(raw) == vp.parse_sql("SELECT 1")
    assert msgpack.unpackb(vp.parse_promql_msgpack(b"up")) == vp.parse_promql("up")


def test_text_that_is_not_utf8_keeps_its_bytes():
    [statement] = vp.parse_sql(b"SELECT 'caf\xe9'")
    value = statement["kind"]["projection"][0]["expr"]["kind"]["literal"]["value"]
    assert value.encode("utf-8", "surrogateescape") == b"caf\xe9"
    assert vp.parse_sql(value.join(["SELECT '", "'"])) == [statement]  # and such a str parses back


def test_deep_documents():
    # A left-deep chain far deeper than msgpack's own decoder goes.
    sql = "SELECT 1" + "+1" * 5000
    [statement] = vp.parse_sql(sql)
    node, depth = statement["kind"]["projection"][0]["expr"], 0
    while node["kind"]["variant"] == "BinaryOp":
        node, depth = node["kind"]["left"], depth + 1
    assert depth == 5000
    with pytest.raises(msgpack.StackError):
        msgpack.unpackb(vp.parse_sql_msgpack(sql))


@pytest.mark.parametrize("sql", [s for s, _ in SQL_DOCUMENTS] + [
    "SELECT 'caf\u00e9', -1, 9223372036854775807, [0.5, -2.25] FROM t LIMIT 1",
    "SELECT d.name, COUNT(e.id) FROM departments d LEFT JOIN employees e ON e.dept_id = d.id GROUP BY 1",
])
def test_iterative_decoder_agrees_with_msgpack(sql):
    raw = vp.parse_sql_msgpack(sql)
    expected = msgpack.unpackb(raw, raw=False)
    assert json.dumps(decode_deep(raw)) == json.dumps(expected)


@pytest.mark.parametrize("data", [b"", b"\x92\x01", b"\xa3ab", b"\x01\x02", b"\xc4\x00", b"\x81\x90\x01"])
def test_iterative_decoder_refuses_malformed_documents(data):
    with pytest.raises(ValueError):
        decode_deep(data)


def test_version():
    assert vp.library_version() == vp.__version__ == "0.25.0"
