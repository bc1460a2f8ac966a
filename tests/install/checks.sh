# Shared by the package tests under Wine: sourced after $prefix and $wine_run are set.
failures=0
fail() {
    echo "FAILED: $*" >&2
    failures=$((failures + 1))
}
w() { "$wine_run" "$prefix" "$@"; }

# "TYPE DATA" of one value of a key, as reg.exe lists it.
value_of() { # key view name
    w reg query "$1" /v "$3" /reg:"$2" 2>/dev/null | tr -d '\r' | sed -n "s/^    $3    \(REG_[A-Z_]*\)    /\1 /p"
}
expect_value() { # key view name expected
    local actual
    actual=$(value_of "$1" "$2" "$3")
    [ "$actual" = "$4" ] || fail "$3 in $1 (view $2) is '$actual', expected '$4'"
}
key_exists() { # key view
    w reg query "$1" /reg:"$2" >/dev/null 2>&1
}
expect_same_file() { # installed shipped
    cmp -s "$1" "$2" || fail "$1 is not $2"
}
# Waits up to $1 seconds for the command after it to succeed.
eventually() {
    local seconds=$1
    shift
    for _ in $(seq 1 $((seconds * 2))); do
        "$@" && return 0
        sleep 0.5
    done
    return 1
}
# Wine folds a DACL onto mode bits: a folder that grants Everyone nothing has no "other" bits.
grants_others_nothing() { # folder
    [ "$(stat -c %a "$1" | cut -c3)" = 0 ]
}
# The folder a planted link points to holds one file of someone else's; a setup leaves it so.
stage_link_target() { # folder
    mkdir -p "$1"
    printf 'not ours\r\n' >"$1/keep.txt"
}
link_target_untouched() { # folder
    [ "$(ls -A "$1")" = keep.txt ] && [ "$(cat "$1/keep.txt")" = "$(printf 'not ours\r')" ]
}
# A console whose current folder is $1 (a Windows path without blanks) holds that folder open
# without delete sharing, as a window that a user left there would, until console_end. It waits
# for one line of input: closing its input ends it. Needs $scratch.
console_in() { # folder
    . "$(dirname "$wine_run")/wine-env"
    rm -f "$scratch/console-input" "$scratch/console-ready"
    mkfifo "$scratch/console-input"
    "$vwn_wine64" cmd.exe /c "cd /d $1 && echo ready>$(winepath -w "$scratch/console-ready") && set /p line=" \
        <"$scratch/console-input" >"$scratch/console-output" 2>&1 &
    console_pid=$!
    exec {console_input}>"$scratch/console-input"
    eventually 30 test -e "$scratch/console-ready"
}
console_end() {
    [ -n "${console_pid:-}" ] || return 0
    exec {console_input}>&-
    wait "$console_pid"
    console_pid=
}
