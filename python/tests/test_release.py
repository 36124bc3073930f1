"""Both buffers of every result are released: counted, and seen in the
process's memory over many calls."""
import os

import pytest

import vellum_sql_parser as vp
from vellum_sql_parser import _native


@pytest.fixture
def frees(monkeypatch):
    released = []
    real = _native._free_buffer

    def counting(pointer):
        released.append(pointer)
        real(pointer)

    monkeypatch.setattr(_native, "_free_buffer", counting)
    return released


def test_each_call_releases_both_buffers(frees, monkeypatch):
    vp.parse_sql("SELECT 1")
    assert len(frees) == 2 and frees[0] and frees[1] is None  # data, then error (NULL)
    frees.clear()
    with pytest.raises(vp.ParseError):
        vp.parse_promql("sum(")
    assert len(frees) == 2 and frees[0] is None and frees[1]

    # A failure while reading the result, and one while decoding it.
    frees.clear()
    monkeypatch.setattr(_native, "error_from_text", lambda text: 1 / 0)
    with pytest.raises(ZeroDivisionError):
        vp.parse_sql("SELECT (")
    assert len(frees) == 2 and frees[1]
    frees.clear()
    monkeypatch.setattr(vp, "decode", lambda data: 1 / 0)
    with pytest.raises(ZeroDivisionError):
        vp.parse_sql("SELECT 1")
    assert len(frees) == 2 and frees[0]


def resident_bytes():
    with open("/proc/self/statm") as statm:
        return int(statm.read().split()[1]) * os.sysconf("SC_PAGE_SIZE")


def test_no_growth_over_many_failing_calls():
    # Error texts of about 1 KB (they quote the offending token): a lost
    # buffer per call would show as some 100 MB.
    sql = "SELECT (1 " + "a" * 1000
    promql = "up '" + "a" * 1000 + "'"

    def run(calls):
        for _ in range(calls // 2):
            try:
                vp.parse_sql(sql)
            except vp.ParseError:
                pass
            try:
                vp.parse_promql(promql)
            except vp.ParseError:
                pass

    run(5000)  # warm up allocator heaps and caches
    before = resident_bytes()
    run(100000)
    growth = resident_bytes() - before
    assert growth < 8 * 1024 * 1024, f"resident memory grew by {growth} bytes"
