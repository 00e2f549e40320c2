#!/usr/bin/env bash
# check-exports.sh LIBDIR: the shared libraries for client programs export their interface
# and nothing else. For each library, packaging/<name>.exports lists the interface as
# extended regular expressions over demangled names (vtables, typeinfo and thunks of a class
# count as the class). Every symbol the library exports must match a line, and every line
# must match an exported symbol (a line nothing matches is an export mark gone missing).
# Instantiations of the standard library's templates are exported by the compiler whatever
# the visibility (its namespace is marked default) and are not ours.
set -euo pipefail
src=$(cd "$(dirname "$0")/.." && pwd)
libdir=$1
status=0
for spec in kerdal32:libkerdal32.so tolvan32-client:libtolvan32_client.so; do
  name=${spec%%:*}
  lib=$(find "$libdir" -maxdepth 1 -name "${spec#*:}" | head -1)
  [ -n "$lib" ] || { echo "check-exports: no ${spec#*:} under $libdir" >&2; exit 1; }
  allow=$src/packaging/$name.exports
  symbols=$(nm -D --defined-only "$lib" | awk '{print $3}' | c++filt |
    sed -E 's/^(vtable for |typeinfo for |typeinfo name for |VTT for |guard variable for |non-virtual thunk to |virtual thunk to )//' |
    grep -Ev '^(_init|_fini|_edata|_end|__bss_start)$' |
    grep -Ev '^(std|__gnu_cxx)::' | sort -u)
  patterns=$(grep -Ev '^\s*(#|$)' "$allow")
  stray=$(printf '%s\n' "$symbols" | grep -Evx -f <(printf '%s\n' "$patterns") || true)
  if [ -n "$stray" ]; then
    echo "check-exports: $lib exports what is not its interface ($allow):" >&2
    printf '  %s\n' "$stray" | head -40 >&2
    status=1
  fi
  while IFS= read -r p; do
    printf '%s\n' "$symbols" | grep -Eqx -- "$p" ||
      { echo "check-exports: $lib does not export /$p/ (lost its export mark?)" >&2; status=1; }
  done <<<"$patterns"
  echo "check-exports: $(basename "$lib"): $(printf '%s\n' "$symbols" | wc -l) symbols, all of them interface"
done
exit $status
