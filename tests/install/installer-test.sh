#!/usr/bin/env bash
# installer-test.sh PREFIX WINE_RUN SETUP DEFINES_FILE INSTALLER_NSI VERSION BIN_DIR MAKENSIS
# The setup and its uninstaller under Wine, silently, as an administrator's
# software deployment would run them: an upgrade from an older setup, the files,
# the registry entries, the installed program's log, and the uninstall of a
# running program beside the notebook maker's charger tool folder.
set -uo pipefail
prefix=$1 wine_run=$2 setup=$3 defines_file=$4 nsi=$5 version=$6 bin=$7 makensis=$8

export WINEPREFIX=$prefix WINEDEBUG=-all
drive=$prefix/drive_c
inst=$drive/Program\ Files/Tessaly/Voltwren
inst_win='C:\Program Files\Tessaly\Voltwren'
tool_folder="$inst/ITE inboxI2C Flash"
log_folder=$drive/ProgramData/Tessaly/Voltwren
uninstall_key='HKLM\SOFTWARE\Microsoft\Windows\CurrentVersion\Uninstall\{6D2A41C8-3F07-4B95-A1E2-58C09D7B3E14}'
run_key='HKLM\SOFTWARE\Microsoft\Windows\CurrentVersion\Run'
aumid_key='HKCU\Software\Classes\AppUserModelId\Tessaly.VoltwrenPowerBeacon'
activator_key='HKCU\Software\Classes\CLSID\{90015346-0000-0000-0000-000000000000}'
event_key='HKLM\SYSTEM\CurrentControlSet\Services\EventLog\Application\Voltwren'
scratch=$(mktemp -d)
program_pid=

. "$(dirname "$0")/checks.sh"

link_target=$drive/vwn-link-target
clean_machine() {
    rm -rf "$drive/Program Files/Tessaly" "$drive/ProgramData/Tessaly" "$link_target"
    w reg delete "$uninstall_key" /f /reg:32 >/dev/null 2>&1
    w reg delete "$uninstall_key" /f /reg:64 >/dev/null 2>&1
    w reg delete "$run_key" /v Voltwren /f /reg:64 >/dev/null 2>&1
    w reg delete "$aumid_key" /f >/dev/null 2>&1
    w reg delete "$activator_key" /f >/dev/null 2>&1
}
finish() {
    console_end
    if [ -n "$program_pid" ] && kill -0 "$program_pid" 2>/dev/null; then
        w "$bin/vwn-user.exe" exit 10000 >/dev/null 2>&1 || kill "$program_pid" 2>/dev/null
    fi
    clean_machine
    rm -rf "$scratch"
}
trap finish EXIT


clean_machine

# The maker's charger tool sits in the program folder before any setup runs.
mkdir -p "$tool_folder"
printf 'charger tool\r\n' >"$tool_folder/ITERHPGen.exe"

# --- An older version first, then the upgrade --------------------------------
mapfile -t defines <"$defines_file"
old_defines=()
for define in "${defines[@]}"; do
    case $define in
    -DVERSION=*) old_defines+=(-DVERSION=0.9.0) ;;
    -DVERSION_QUAD=*) old_defines+=(-DVERSION_QUAD=0.9.0.0) ;;
    ?*) old_defines+=("$define") ;;
    esac
done
"$makensis" -V1 -NOCD "${old_defines[@]}" "-DOUT_FILE=$scratch/Voltwren-0.9.0-setup.exe" "$nsi" ||
    fail "the older setup does not build"
w "$scratch/Voltwren-0.9.0-setup.exe" /S || fail "the older setup ended with $?"
expect_value "$uninstall_key" 32 DisplayVersion "REG_SZ 0.9.0"
[ -d "$log_folder" ] || fail "no log folder after the first install"
grants_others_nothing "$log_folder" || fail "the new log folder grants others $(stat -c %a "$log_folder")"
printf 'damaged' >"$inst/notification_icon.png"
# The events the setup reported, as scripts/event-trace lists them: "ID<tab>LEVEL<tab>..." lines.
setup_with_events() { # events-file
    WINEDEBUG=-all,fixme+advapi,+eventlog,+pid w "$setup" /S >"$1.trace" 2>&1
    local status=$?
    "$(dirname "$0")/../../scripts/event-trace" <"$1.trace" >"$1" || fail "the setup's event trace did not parse"
    return $status
}
# A link at the log folder's path, or at Tessaly above it, which the program would not trust.
# Windows opens a link itself and the setup removes it as a link; Wine 8 opens only its target,
# so there the setup must refuse (1603) before it copies any file, and leave both alone.
refuses_link_at() { # path target
    ln -s "$2" "$1"
    setup_with_events "$scratch/refused-events.txt"
    local status=$?
    [ $status = $((1603 & 255)) ] && [ -L "$1" ] || fail "the setup ended with $status over a link at $1"
    link_target_untouched "$link_target" || fail "the setup changed the files behind the link at $1"
    [ "$(cat "$inst/notification_icon.png")" = damaged ] || fail "the setup copied files before refusing $1"
    local windows=${1#"$drive"/}
    grep -qF "$(printf '7000\tError\tuser\tC:\\%s\tRefused ' "${windows//\//\\}")" "$scratch/refused-events.txt" ||
        fail "no error 7000 for the refused $1: $(cat "$scratch/refused-events.txt")"
    rm "$1"
}
stage_link_target "$link_target"
rm -rf "$log_folder"
refuses_link_at "$log_folder" ../../vwn-link-target
rm -rf "$drive/ProgramData/Tessaly"
refuses_link_at "$drive/ProgramData/Tessaly" ../vwn-link-target

# Another product of the maker keeps its data in Tessaly, and a console left in the log folder
# holds it open (both of another owner under Wine): the setup takes both where they are.
other_product=$drive/ProgramData/Tessaly/OtherProduct
mkdir -p "$log_folder" "$other_product"
printf 'theirs\r\n' >"$other_product/settings.ini"
console_in 'C:\ProgramData\Tessaly\Voltwren' || fail "no console in the log folder"
setup_with_events "$scratch/taken-events.txt" || fail "the setup ended with $?"
console_end
grep -qF "$(printf '7001\tWarning\tuser\tC:\\ProgramData\\Tessaly\tTook C:\\ProgramData\\Tessaly from another owner')" "$scratch/taken-events.txt" ||
    fail "no warning 7001 for the taken folders: $(cat "$scratch/taken-events.txt")"
[ "$(cat "$other_product/settings.ini")" = "$(printf 'theirs\r')" ] || fail "the setup changed another product's data"

# --- Files ---------------------------------------------------------------------
expect_same_file "$inst/notification_icon.png" "$bin/notification_icon.png"
for define in "${defines[@]}"; do
    case $define in
    -DVOLTWREN_EXE=*) expect_same_file "$inst/Voltwren.exe" "${define#-DVOLTWREN_EXE=}" ;;
    -DLOG_LIBRARY=*) expect_same_file "$inst/Log4cxxWrapper.dll" "${define#-DLOG_LIBRARY=}" ;;
    -DLOG_PROPERTIES=*) expect_same_file "$inst/log4cxx.properties" "${define#-DLOG_PROPERTIES=}" ;;
    -DEVENT_MESSAGES=*) expect_same_file "$inst/VoltwrenEvents.dll" "${define#-DEVENT_MESSAGES=}" ;;
    esac
done
[ -f "$inst/Uninstall.exe" ] || fail "no Uninstall.exe"
[ "$(cat "$tool_folder/ITERHPGen.exe")" = "$(printf 'charger tool\r')" ] || fail "the charger tool was touched by the setup"
[ -d "$log_folder" ] || fail "the upgrade left no log folder"
grants_others_nothing "$log_folder" || fail "the log folder grants others $(stat -c %a "$log_folder")"

# --- Registry --------------------------------------------------------------------
expect_value "$uninstall_key" 32 DisplayName "REG_SZ Tessaly Voltwren"
expect_value "$uninstall_key" 32 DisplayVersion "REG_SZ $version"
expect_value "$uninstall_key" 32 Publisher "REG_SZ Tessaly"
expect_value "$uninstall_key" 32 DisplayIcon "REG_SZ $inst_win\\Voltwren.exe,0"
expect_value "$uninstall_key" 32 InstallLocation "REG_SZ $inst_win"
expect_value "$uninstall_key" 32 UninstallString "REG_SZ \"$inst_win\\Uninstall.exe\""
expect_value "$uninstall_key" 32 QuietUninstallString "REG_SZ \"$inst_win\\Uninstall.exe\" /S"
expect_value "$uninstall_key" 32 NoModify "REG_DWORD 0x1"
expect_value "$uninstall_key" 32 NoRepair "REG_DWORD 0x1"
# Kibibytes of the program folder's own files, the charger tool's folder not counted.
bytes=$(find "$inst" -maxdepth 1 -type f -printf '%s\n' | awk '{ s += $1 } END { print s }')
expect_value "$uninstall_key" 32 EstimatedSize "$(printf 'REG_DWORD 0x%x' $((bytes / 1024)))"
key_exists "$uninstall_key" 64 && fail "the uninstall entry is in the 64-bit view too"
expect_value "$run_key" 64 Voltwren "REG_SZ \"$inst_win\\Voltwren.exe\""
# The event source, which the uninstall removes below.
expect_value "$event_key" 64 EventMessageFile "REG_EXPAND_SZ $inst_win\\VoltwrenEvents.dll"
expect_value "$event_key" 64 TypesSupported "REG_DWORD 0x7"

# --- The installed program logs under the installed version ------------------------
# No charger tool answers here: with no retries the program ends by itself.
timeout 90 "$wine_run" "$prefix" "$inst_win\\Voltwren.exe" -retrycount 0 >/dev/null 2>&1
status=$?
[ $status = 0 ] || fail "the installed program ended with $status"
log=$log_folder/Voltwren.log
grep -qF " DEBUG vwn_$version - [Voltwren][wWinMain] @@@@@ MAIN ENTRY @@@@@" "$log" 2>/dev/null ||
    fail "no MAIN ENTRY line under logger vwn_$version in $log"
loggers=$(sed -n 's/^[0-9-]* [0-9:,.]* \[[^]]*\] DEBUG *\([^ ]*\) - .*/\1/p' "$log" 2>/dev/null | sort -u)
[ "$loggers" = "vwn_$version" ] || fail "log lines under loggers '$loggers', expected only vwn_$version"

# --- Uninstall while the program runs ----------------------------------------------
"$wine_run" "$prefix" "$inst_win\\Voltwren.exe" -retrycount 100000 >/dev/null 2>&1 &
program_pid=$!
w "$bin/vwn-user.exe" wait-window 30000 >/dev/null 2>&1 || fail "the installed program shows no window"
key_exists "$aumid_key" 64 || fail "the running program registered no identity"

# The uninstaller hands over to a copy of itself and returns; its entry goes last.
w "$inst_win\\Uninstall.exe" /S || fail "the uninstaller ended with $?"
eventually 60 eval '! key_exists "$uninstall_key" 32' || fail "the uninstall entry is still there"
if eventually 30 eval '! kill -0 $program_pid 2>/dev/null'; then
    wait "$program_pid"
    status=$?
    [ $status = 0 ] || fail "the program ended with $status, not through its Exit command"
    program_pid=
else
    fail "the uninstaller did not end the running program"
fi

for file in Voltwren.exe Log4cxxWrapper.dll VoltwrenEvents.dll log4cxx.properties notification_icon.png Uninstall.exe; do
    [ -e "$inst/$file" ] && fail "$file is still installed"
done
[ "$(cat "$tool_folder/ITERHPGen.exe" 2>/dev/null)" = "$(printf 'charger tool\r')" ] ||
    fail "the uninstaller touched the charger tool"
leftovers=$(ls -A "$inst" 2>/dev/null)
[ "$leftovers" = "ITE inboxI2C Flash" ] || fail "the program folder holds '$leftovers'"
key_exists "$uninstall_key" 32 && fail "the uninstall entry stayed"
[ -n "$(value_of "$run_key" 64 Voltwren)" ] && fail "the Run value stayed"
key_exists "$aumid_key" 64 && fail "the identity key stayed"
key_exists "$activator_key" 64 && fail "the activator key stayed"
key_exists "$event_key" 64 && fail "the event source stayed"
[ -d "$log_folder" ] || fail "the uninstaller removed the log folder"

# --- Without the charger tool the folders go too --------------------------------------
rm -rf "$tool_folder"
w "$setup" /S || fail "the second setup ended with $?"
w "$inst_win\\Uninstall.exe" /S || fail "the second uninstall ended with $?"
eventually 60 eval '! key_exists "$uninstall_key" 32' || fail "the second uninstall left its entry"
eventually 10 test ! -e "$drive/Program Files/Tessaly" || fail "the second uninstall left $(ls -AR "$drive/Program Files/Tessaly")"

[ $failures = 0 ] && echo "installer test passed"
exit $((failures > 0))
