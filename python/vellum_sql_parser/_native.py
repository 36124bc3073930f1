"""The shared library, loaded with ctypes, and the two parse calls.

The library is the one bundled in this package, or the file named by the
environment variable VELLUM_LIB (read once, at import).
"""
from __future__ import annotations

import ctypes
import os
from pathlib import Path
from typing import Callable, Optional, Union

from ._errors import LimitError, error_from_text

__all__ = ["library_path", "library_version", "parse_sql_bytes", "parse_promql_bytes", "to_bytes"]

Text = Union[str, bytes, bytearray, memoryview]

# Longer SQL is refused by the library itself; it reads no further than this.
_SQL_LENGTH_PASSED = 1048577


class _ParseResult(ctypes.Structure):
    _fields_ = [
        ("status", ctypes.c_uint8),
        ("data", ctypes.c_void_p),
        ("data_len", ctypes.c_int32),
        ("error", ctypes.c_void_p),
        ("error_len", ctypes.c_int32),
    ]


def _find_library() -> str:
    override = os.environ.get("VELLUM_LIB")
    if override:
        return override
    bundled = Path(__file__).resolve().parent / "libvellum_sql_parser.so"
    if bundled.exists():
        return str(bundled)
    raise ImportError(
        "vellum_sql_parser: no bundled libvellum_sql_parser.so (install the package with pip, "
        "or point VELLUM_LIB at a built library)")


library_path = _find_library()
_lib = ctypes.CDLL(library_path)
for _name in ("vellum_parse_sql", "vellum_parse_promql"):
    _function = getattr(_lib, _name)
    _function.restype = _ParseResult
    _function.argtypes = [ctypes.c_char_p, ctypes.c_int32]
_lib.vellum_free_buffer.restype = None
_lib.vellum_free_buffer.argtypes = [ctypes.c_void_p]
_lib.vellum_parser_version.restype = ctypes.c_char_p
_lib.vellum_parser_version.argtypes = []
_free_buffer: Callable[[Optional[int]], None] = _lib.vellum_free_buffer


def library_version() -> str:
    """The version the loaded library reports ("0.25.0")."""
    return _lib.vellum_parser_version().decode("ascii")


def to_bytes(text: Text) -> bytes:
    """The bytes of a text: str is encoded as UTF-8 (surrogate escapes, as
    this package decodes strings that are not UTF-8, give back their bytes)."""
    if isinstance(text, str):
        return text.encode("utf-8", "surrogateescape")
    if isinstance(text, (bytes, bytearray, memoryview)):
        return bytes(text)
    raise TypeError(f"text must be str or bytes, not {type(text).__name__}")


def _finish(result: _ParseResult) -> bytes:
    # Both buffers are released whatever happens between the call and here.
    try:
        if result.status != 0:
            text = ctypes.string_at(result.error, result.error_len).decode("utf-8", "replace")
            raise error_from_text(text)
        return ctypes.string_at(result.data, result.data_len) if result.data else b""
    finally:
        _free_buffer(result.data)
        _free_buffer(result.error)


def parse_sql_bytes(source: bytes) -> bytes:
    """The MessagePack document of an SQL text, or the error raised."""
    return _finish(_lib.vellum_parse_sql(source, min(len(source), _SQL_LENGTH_PASSED)))


def parse_promql_bytes(source: bytes, length: int = 0) -> bytes:
    """The MessagePack document of a PromQL expression, or the error raised.
    ``length`` > 0 parses only that many leading bytes (as the C function)."""
    if b"\0" in source:
        # The library reads a NUL-terminated string and would stop there.
        raise LimitError("PromQL input contains a NUL byte")
    return _finish(_lib.vellum_parse_promql(source, length))
