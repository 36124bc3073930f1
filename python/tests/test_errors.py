"""Every error class, with what it carries."""
import pytest

import vellum_sql_parser as vp
from vellum_sql_parser._errors import DEFECT_PREFIX, error_from_text
from vellum_sql_parser._native import parse_promql_bytes

CASES = [
    # language, text, class, line, column, offset, message, whole text (None: "message")
    ("sql", "SELECT 1 +", vp.ParseError, 1, 11, None, "unexpected token in expression",
     "Parse error at line 1, col 11: unexpected token in expression (got tkEof '')"),
    ("sql", "SELECT 1;\n  SELECT (1 x", vp.ParseError, 2, 13, None, "expected tkRParen",
     "Parse error at line 2, col 13: expected tkRParen (got tkIdent 'x')"),
    ("sql", "SELECT CAST(x AS DECIMAL(10, 20)) FROM t", vp.ParseError, None, None, None,
     "DECIMAL requires 1 <= precision <= 38 and 0 <= scale <= precision", None),
    ("sql", "SELECT 1" + " " * 1048569, vp.LimitError, None, None, None, "SQL input exceeds 1048576-byte limit", None),
    ("sql", "SELECT 1\0", vp.LimitError, None, None, None, "SQL input contains an interior NUL byte", None),
    ("sql", "SELECT " + "(" * 200 + "1", vp.LimitError, None, None, None,
     "maximum SQL syntactic nesting depth of 128 exceeded", None),
    ("promql", "sum(\n  rate(x[5m]", vp.ParseError, 2, 13, 17, "expected ')' after function arguments",
     "PromQL parse error at line 2, col 13, offset 17 near '<eof>': expected ')' after function arguments"),
    ("promql", "(" * 100 + "1", vp.LimitError, 1, 65, 64, "expression nesting exceeds limit 64",
     "PromQL parse error at line 1, col 65, offset 64 near '(': expression nesting exceeds limit 64"),
    ("promql", "up\0 + x", vp.LimitError, None, None, None, "PromQL input contains a NUL byte", None),
]


@pytest.mark.parametrize("language,text,cls,line,column,offset,message,whole", CASES)
def test_errors(language, text, cls, line, column, offset, message, whole):
    parse = vp.parse_sql if language == "sql" else vp.parse_promql
    with pytest.raises(cls) as caught:
        parse(text)
    e = caught.value
    assert isinstance(e, ValueError) and isinstance(e, vp.VellumError)
    assert (e.line, e.column, e.offset, e.message) == (line, column, offset, message)
    assert str(e) == e.text == (message if whole is None else whole)
    raw = vp.parse_sql_msgpack if language == "sql" else vp.parse_promql_msgpack
    with pytest.raises(cls):
        raw(text)


def test_the_largest_text_is_accepted():
    assert len(vp.parse_sql("SELECT 1" + " " * 1048568)) == 1


def test_internal_defect():
    # The C function's length past the end of the string: a defect report.
    with pytest.raises(vp.InternalError) as caught:
        parse_promql_bytes(b"up", 10)
    e = caught.value
    assert isinstance(e, RuntimeError) and not isinstance(e, ValueError)
    assert str(e).startswith(DEFECT_PREFIX) and e.message == str(e)[len(DEFECT_PREFIX):] != ""
    assert e.line is None


@pytest.mark.parametrize("text,cls,line,column,offset,message", [
    # Source text quoted in the error does not confuse the reading.
    ("Parse error at line 3, col 4: expected tkRParen (got tkString 'a (got tkX 'b')')", vp.ParseError, 3, 4, None,
     "expected tkRParen"),
    ("Parse error at line 1, col 1: expected SQL statement (SHOW, DESCRIBE) (got tkIdent 'up')", vp.ParseError, 1, 1,
     None, "expected SQL statement (SHOW, DESCRIBE)"),
    ("PromQL parse error at line 1, col 3, offset 2 near '\"a': b\"': unexpected token after expression",
     vp.ParseError, 1, 3, 2, "unexpected token after expression"),
    ("staged MessagePack exceeds 1048576-byte limit", vp.LimitError, None, None, None, None),
    ("maximum staged MessagePack nesting depth of 128 exceeded", vp.LimitError, None, None, None, None),
    ("maximum staged AST nesting depth of 128 exceeded", vp.LimitError, None, None, None, None),
    ("PromQL document exceeds 2147483647-byte limit", vp.LimitError, None, None, None, None),
    ("multiple LIMIT clauses are not allowed", vp.ParseError, None, None, None, None),
    (DEFECT_PREFIX + "x", vp.InternalError, None, None, None, "x"),
])
def test_error_texts(text, cls, line, column, offset, message):
    e = error_from_text(text)
    assert type(e) is cls
    assert (e.line, e.column, e.offset, e.message) == (line, column, offset, text if message is None else message)


@pytest.mark.parametrize("value", [None, 5, ["SELECT 1"]])
def test_texts_must_be_str_or_bytes(value):
    with pytest.raises(TypeError):
        vp.parse_sql(value)
    with pytest.raises(TypeError):
        vp.parse_promql(value)
