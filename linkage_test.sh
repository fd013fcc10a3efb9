#!/bin/sh
# Both programs start like C programs: they load neither libstdc++ nor
# libgcc_s, and the dynamic loader does at most 600 relocations for either.
# usage: linkage_test.sh PROGRAM...
set -eu
status=0
for program in "$@"; do
  needed=$(readelf -d "$program" | sed -n 's/.*Shared library: \[\(.*\)\]/\1/p' | tr '\n' ' ')
  case " $needed" in
    *" libstdc++"* | *" libgcc_s"*)
      echo "$program needs the C++ runtime: $needed" >&2
      status=1 ;;
  esac
  relocations=$(LD_DEBUG=statistics "$program" 2>&1 >/dev/null |
    sed -n 's/.* number of relocations: \([0-9]*\)$/\1/p' | head -n 1)
  if [ -z "$relocations" ] || [ "$relocations" -gt 600 ]; then
    echo "$program: ${relocations:-unknown} relocations at start-up (at most 600)" >&2
    status=1
  fi
  echo "$(basename "$program"): needs $needed; $relocations relocations"
done
exit $status
