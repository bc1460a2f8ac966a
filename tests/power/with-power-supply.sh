#!/usr/bin/env bash
# with-power-supply.sh PREFIX WINE_RUN TEST_EXE [ARGS...]
# Wine answers GetSystemPowerStatus from /sys/class/power_supply. This runs the
# test in a private mount namespace in which a folder of ours, with an AC adapter
# and a battery, lies over that path. VWN_POWER_SUPPLY names the folder by its
# Windows path: the test writes AC\online (1 mains, 0 battery) there, and every
# program it starts reads the new state at its next call. Needs root (unshare -m).
set -uo pipefail
prefix=$1
wine_run=$2
shift 2

folder=$(mktemp -d /tmp/vwn-power.XXXXXX)
trap 'rm -rf "$folder"' EXIT
mkdir -p "$folder/AC" "$folder/BAT0"
echo Mains >"$folder/AC/type"
echo 1 >"$folder/AC/online"
echo Battery >"$folder/BAT0/type"
echo Discharging >"$folder/BAT0/status"
echo 1 >"$folder/BAT0/present"

if ! unshare -m true 2>/dev/null; then
    echo "with-power-supply.sh: no private mount namespace here (needs root): skipped" >&2
    exit 77
fi
VWN_POWER_SUPPLY="$(WINEPREFIX=$prefix WINEDEBUG=-all winepath -w "$folder")\\"
export VWN_POWER_SUPPLY
exec unshare -m sh -c 'mount --bind "$0" /sys/class/power_supply && exec "$@"' "$folder" "$wine_run" "$prefix" "$@"
