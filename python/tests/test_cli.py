"""python3 -m vellum_sql_parser."""
import json
import subprocess
import sys
from pathlib import Path

import pytest

import vellum_sql_parser as vp

PACKAGE_DIR = str(Path(vp.__file__).resolve().parent.parent)


def run(*args):
    return subprocess.run([sys.executable, "-m", "vellum_sql_parser", *args], capture_output=True, text=True,
                          cwd=PACKAGE_DIR)


@pytest.mark.parametrize("language,text", [("sql", "SELECT a FROM t; COMMIT"), ("promql", "rate(x[5m])")])
def test_prints_the_tree(language, text):
    done = run(language, text)
    assert done.returncode == 0 and done.stderr == ""
    expected = vp.parse_sql(text) if language == "sql" else vp.parse_promql(text)
    assert json.loads(done.stdout) == expected
    assert done.stdout.startswith("[\n  {" if language == "sql" else "{\n  ")


def test_errors_and_usage():
    done = run("sql", "SELECT (1")
    assert (done.returncode, done.stdout) == (1, "")
    assert done.stderr == "Parse error at line 1, col 10: expected tkRParen (got tkEof '')\n"
    for args in [(), ("sql",), ("mysql", "x"), ("sql", "a", "b")]:
        done = run(*args)
        assert done.returncode == 2 and done.stderr.startswith("usage:")


def test_deep_trees_print():
    done = run("sql", "SELECT 1" + "+1" * 2000)
    assert done.returncode == 0
    assert done.stdout.startswith('[{"kind":{"variant":"Select"') and done.stdout.count('"BinaryOp"') == 2000
