#!/usr/bin/env bash
# The Python package, with Debian's interpreter.
#
#   test_python.sh tests SOURCE_DIR LIBRARY
#     the pytest suite of python/tests against LIBRARY (through VELLUM_LIB)
#   test_python.sh package SOURCE_DIR BUILD_DIR
#     the README's steps: a virtual environment that sees Debian's packages,
#     pip install of python/ offline (which builds and bundles the library),
#     then the README's example and the module's command line with the
#     installed package alone
set -euo pipefail
python=${VELLUM_PYTHON:-/usr/bin/python3}
mode=$1
src=$(cd "$2" && pwd)
case "$mode" in
  tests)
    VELLUM_LIB=$(readlink -f "$3")
    export VELLUM_LIB
    cd "$src/python"
    exec "$python" -m pytest -q -p no:cacheprovider tests
    ;;
  package)
    build=$(cd "$3" && pwd)
    work=$build/python-test
    rm -rf "$work"
    mkdir -p "$work"
    cd "$work"
    ln -s "$src/python" python  # the README's commands run beside python/
    example() { "$python" "$src/scripts/readme_example.py" "$src/README.md" "$1"; }
    unset VELLUM_LIB
    example pip-install | PIP_NO_INPUT=1 PIP_DISABLE_PIP_VERSION_CHECK=1 bash -euo pipefail > pip.log 2>&1 || { cat pip.log; exit 1; }
    bundled=$(.venv/bin/python -c 'import vellum_sql_parser as v; print(v.library_path)')
    case "$bundled" in "$work"/.venv/*) ;; *) echo "FAIL: loads $bundled, not the bundled library"; exit 1 ;; esac
    [ -f "$(dirname "$bundled")/py.typed" ] || { echo "FAIL: no py.typed"; exit 1; }
    example example.py > example.py
    got=$(.venv/bin/python example.py)
    want=$(example example.py-output)
    [ "$got" = "$want" ] || { printf 'FAIL: example.py printed\n%s\ninstead of\n%s\n' "$got" "$want"; exit 1; }
    got=$(.venv/bin/python -m vellum_sql_parser promql up)
    [ "$(echo "$got" | head -2)" = $'{\n  "kind": {' ] || { echo "FAIL: python -m printed $got"; exit 1; }
    echo "python_package: ok"
    ;;
  *) echo "usage: test_python.sh tests|package SOURCE_DIR LIBRARY|BUILD_DIR" >&2; exit 2 ;;
esac
