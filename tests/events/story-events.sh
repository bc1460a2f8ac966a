#!/usr/bin/env bash
# story-events.sh PREFIX WINE_RUN BIN_DIR CALIBRATION_EXE VERSION
# What Voltwren reports to the Windows event log, as Wine's trace of ReportEventW shows
# what the API was given (scripts/event-trace parses it):
#   - calibration: known events reported through the program's own source come back exactly,
#     so that a change in the trace's format fails here instead of passing;
#   - a tool that stops answering, with -retrycount 5: exactly 1000, 2000, 3000 and 1001;
#   - no tool's folder at all, with -retrycount 0: 3001 and 2003 before the 3000;
#   - a tool that flaps for two minutes: one 2000 and one 2001, not one per silence.
set -uo pipefail
prefix=$1 wine_run=$2 bin=$3 calibration=$4 version=$5
here=$(dirname "$0")
parse=$here/../../scripts/event-trace
. "$here/../../scripts/program-folder"
export WINEPREFIX=$prefix
work=$(mktemp -d)
program=$work/program
trap 'rm -rf "$work"' EXIT
failures=0
fail() {
    echo "FAILED: $*" >&2
    failures=$((failures + 1))
}

# traced OUT PROGRAM [ARGS...]: runs the program with the trace on, into OUT.
traced() {
    local out=$1
    shift
    WINEDEBUG=-all,fixme+advapi,+eventlog,+pid timeout 240 "$wine_run" "$prefix" "$@" >"$out" 2>&1
}
# One event as event-trace prints it.
row() {
    local IFS=$'\t'
    echo "$*"
}
# The events in OUT, with the seconds of 2001 and 3000, which vary, written S.
events_in() {
    "$parse" <"$1" | awk -F'\t' -v OFS='\t' '$1 == 2001 { $4 = "S" } $1 == 3000 { $5 = "S" } 1' ||
        fail "the trace in $1 does not parse: $(grep -a ReportEventW "$1")"
}
expect_events() { # what expected actual
    [ "$2" = "$3" ] || fail "$1: the events were
$3
expected
$2"
}
# A fresh program folder playing STORY. Under Wine every folder shows the user as its
# owner, so a log folder left by an earlier run would be distrusted and made again (4000):
# the run starts without one, as on a notebook whose setup made it.
stage() { # story
    vwn_stage_program "$bin" "$program" "$work/values" "$1"
    rm -rf "$prefix/drive_c/ProgramData/Tessaly/Voltwren"
}

traced "$work/calibration.txt" "$calibration" || fail "the calibration reported nothing ($?)"
expect_events "calibration" "$(row 3000 Error user 'quote " back\slash tab' '中文 é'
    row 2000 Warning user 'line  break' "$(printf 'x%.0s' $(seq 249))" ''
    row 1001 Information user plain)" "$("$parse" <"$work/calibration.txt")"

tool="$(vwn_windows_path "$program")\\ITE inboxI2C Flash\\"
log_file='C:\ProgramData\Tessaly\Voltwren\Voltwren.log'

stage "$here/../../docs/stories/tool-stops-answering.txt"
traced "$work/stops.txt" "$program/Voltwren.exe" -retrycount 5 || fail "the program that gave up ended with $?"
expect_events "a tool that stops answering" "$(row 1000 Information user "$version" '-retrycount 5' "$log_file"
    row 2000 Warning user 5 "$tool" 1
    row 3000 Error user 6 S
    row 1001 Information user 'gave up after failed reads')" "$(events_in "$work/stops.txt")"

stage "$here/../../docs/stories/tool-stops-answering.txt"
rm -rf "$program/ITE inboxI2C Flash"
traced "$work/no-tool.txt" "$program/Voltwren.exe" -retrycount 0 || fail "the program without a tool ended with $?"
expect_events "no tool's folder" "$(row 1000 Information user "$version" '-retrycount 0' "$log_file"
    row 3001 Error user "the tool's folder" "$tool"
    row 2003 Warning user 0x4E 0x40
    row 3000 Error user 1 S
    row 1001 Information user 'gave up after failed reads')" "$(events_in "$work/no-tool.txt")"

stage "$here/flapping-story.txt"
traced "$work/flapping.txt" "$program/Voltwren.exe" &
running=$!
sleep 120
"$wine_run" "$prefix" "$program/Voltwren.exe" -exit >/dev/null 2>&1 || fail "-exit ended with $?"
wait "$running" || fail "the flapping run ended with $?"
expect_events "a tool that flaps for two minutes" "$(row 1000 Information user "$version" none "$log_file"
    row 2000 Warning user 5 "$tool" 1
    row 2001 Information user S
    row 1001 Information user -exit)" "$(events_in "$work/flapping.txt")"
resends=$(grep -c 'sending the command again' "$prefix/drive_c/ProgramData/Tessaly/Voltwren/Voltwren.log")
echo "flapping for 120 s: $("$parse" <"$work/flapping.txt" | wc -l) events written; the log shows $resends resends"

[ $failures = 0 ] && echo "event story test passed"
exit $((failures > 0))
