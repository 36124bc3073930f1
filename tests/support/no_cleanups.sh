#!/bin/sh
# Fails when a function of the parsers' descent keeps an object with a
# destructor: a syntax error jumps out of those frames without unwinding
# them (see Parser::escape), which is sound only while they have nothing to
# clean up. Every such object leaves a landing pad that calls
# _Unwind_Resume. Only the functions that raise (and never sit below an
# error on the stack) may have one.
#   no_cleanups.sh OBJDUMP OBJECT...
objdump=$1
shift
status=0
for object in "$@"; do
  case $(basename "$object") in
    parse_*.o | parser.cpp.o | lexer.cpp.o | promql_parser.cpp.o | promql_lexer.cpp.o | promql_duration.cpp.o) ;;
    *) continue ;;
  esac
  found=$("$objdump" -dr -C "$object" | awk '
    /^[0-9a-f]+ <.*>:$/ { name = $0 }
    /R_X86_64_PLT32[ \t]+_Unwind_Resume/ || /call.*<_Unwind_Resume/ {
      if (name !~ /Parser::fail\(\)|raisePromError|convertLongInteger|StatementReader::next\(\)|backfillSpans|parseStatements\(/) print name
    }' | sort -u)
  if [ -n "$found" ]; then
    echo "$(basename "$object"): clean-up code in"
    echo "$found"
    status=1
  fi
done
exit $status
