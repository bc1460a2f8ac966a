#!/usr/bin/env bash
# with-shipped-properties.sh PREFIX WINE_RUN TEST_EXE [ARGS...]
# Names the shipped log4cxx.properties to the test in VWN_SHIPPED_PROPERTIES, by the
# Windows path that winepath gives it in PREFIX, as the scripts convert every path.
set -euo pipefail
prefix=$1
wine_run=$2
shift 2
shipped=$(realpath "$(dirname "${BASH_SOURCE[0]}")/../../packaging/log4cxx.properties")
VWN_SHIPPED_PROPERTIES=$(WINEPREFIX=$prefix WINEDEBUG=-all winepath -w "$shipped")
export VWN_SHIPPED_PROPERTIES
exec "$wine_run" "$prefix" "$@"
