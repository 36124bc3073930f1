"""SQL and PromQL text to syntax trees, through the vellum_sql_parser
shared library (loaded with ctypes; the package bundles it, and the
environment variable VELLUM_LIB may name another build).

    >>> import vellum_sql_parser as vp
    >>> [s["kind"]["variant"] for s in vp.parse_sql("SELECT 1; COMMIT")]
    ['Select', 'Commit']

Every node is a dict {"kind": {"variant": ..., ...}, "span": ...} with the
keys in the library's order. Strings that are not UTF-8 in the source come
back with their bytes as surrogate escapes (``s.encode("utf-8",
"surrogateescape")`` gives the bytes back). All functions may be called from
many threads at once; the library keeps no state between calls.
"""
from __future__ import annotations

from typing import Any, Dict, List

from ._decode import decode
from ._errors import InternalError, LimitError, ParseError, VellumError
from ._fingerprint import canonical_text, fingerprint_tree
from ._native import Text, library_path, library_version, parse_promql_bytes, parse_sql_bytes, to_bytes

__version__ = "0.25.0"
__all__ = [
    "parse_sql", "parse_promql", "parse_sql_msgpack", "parse_promql_msgpack", "fingerprint",
    "VellumError", "ParseError", "LimitError", "InternalError",
    "library_path", "library_version", "canonical_text", "__version__",
]


def parse_sql_msgpack(text: Text) -> bytes:
    """The MessagePack document of an SQL text: an array with one entry per
    statement. Raises ParseError, LimitError or InternalError."""
    return parse_sql_bytes(to_bytes(text))


def parse_promql_msgpack(text: Text) -> bytes:
    """The MessagePack document of one PromQL expression. Raises ParseError
    (with ``offset``), LimitError (also for a NUL byte in the text) or
    InternalError."""
    return parse_promql_bytes(to_bytes(text))


def parse_sql(text: Text) -> List[Dict[str, Any]]:
    """One dict per statement of an SQL text (an empty list for a text
    without statements)."""
    document = decode(parse_sql_msgpack(text))
    assert isinstance(document, list)
    return document


def parse_promql(text: Text) -> Dict[str, Any]:
    """The tree of one PromQL expression."""
    document = decode(parse_promql_msgpack(text))
    assert isinstance(document, dict)
    return document


def fingerprint(sql: Text) -> List[str]:
    """One fingerprint per statement of an SQL text: equal for statements
    that differ only in spans (layout, comments, letter case of keywords)
    and in literal values, different when anything else differs.

    The fingerprint is the lower-case hexadecimal SHA-256 of the statement's
    canonical text, in ASCII. The canonical text is made from the statement's
    entry of the document ({"kind": ..., "span": ...}) by leaving out

    - every map entry whose key is "span" or ends in "_span";
    - the "value" entry of the "literal" map of every map whose "variant" is
      "Literal" (numbers, strings, intervals, booleans: "Number" and
      "String" stay distinct), and the "values" entry of every map whose
      "variant" is "VectorLiteral";

    and writing the rest as JSON without any white space: maps as
    {"key":value,...} in the document's key order, arrays as [...], strings
    as Python's json.dumps(s, ensure_ascii=True) writes them (\\" \\\\ \\b \\f
    \\n \\r \\t, every other character below U+0020 or above U+007E as
    \\uXXXX, characters beyond U+FFFF as two such escapes, the surrogate
    escapes of bytes that are not UTF-8 as \\udcXX), integers in decimal,
    floats as repr(), and true, false, null. For example
    "SELECT 1" has the canonical text (one line, broken here)

        {"kind":{"variant":"Select","distinct":false,"distinct_on":[],
        "projection":[{"variant":"Expr","expr":{"kind":{"variant":"Literal",
        "literal":{"variant":"Number"}}},"alias":null}],"from":[],
        "selection":null,"group_by":null,"having":null,"windows":[],
        "qualify":null,"set_operations":[],"order_by":[],"limit":null,
        "offset":null,"limit_with_ties":false}}

    (canonical_text() returns it for a decoded entry). The digest depends on
    nothing but the document, so it is the same on every run and machine; it
    changes only where a release changes the document of a statement.
    Raises what parse_sql raises.
    """
    return [fingerprint_tree(statement) for statement in parse_sql(sql)]
