#!/usr/bin/env bash
# msi-test.sh PREFIX WINE_RUN MSI MSI_INPUT WIXL WXS LOG_FOLDER VERSION BIN_DIR SETUP OBJDUMP
# The Windows Installer package under Wine, as a fleet deployment runs it: a silent install,
# a silent upgrade over a running program beside the charger tool folder, a refused
# downgrade, an interactive upgrade that starts the program again, the NSIS setup and the
# package refusing each other, a silent removal. What Wine cannot show is read from the tables.
set -uo pipefail
prefix=$1 wine_run=$2 msi=$3 msi_input=$4 wixl=$5 wxs=$6 log_folder_win=$7 version=$8 bin=$9 setup=${10} objdump=${11}

export WINEPREFIX=$prefix WINEDEBUG=-all
. "$(dirname "$0")/checks.sh"
drive=$prefix/drive_c
inst=$drive/Program\ Files/Tessaly/Voltwren
inst_win='C:\Program Files\Tessaly\Voltwren'
tool="$inst/ITE inboxI2C Flash/ITERHPGen.exe"
log_folder=$drive/ProgramData/Tessaly/Voltwren
tessaly_win=${log_folder_win%\\*}
dependency_key='HKLM\SOFTWARE\Classes\Installer\Dependencies\{6D2A41C8-3F07-4B95-A1E2-58C09D7B3E14}'
nsis_key='HKLM\SOFTWARE\Microsoft\Windows\CurrentVersion\Uninstall\{6D2A41C8-3F07-4B95-A1E2-58C09D7B3E14}'
run_key='HKLM\SOFTWARE\Microsoft\Windows\CurrentVersion\Run'
event_key='HKLM\SYSTEM\CurrentControlSet\Services\EventLog\Application\Voltwren'
# wine hands back the low 8 bits of 1603 (ERROR_INSTALL_FAILURE) and 1638 (ERROR_PRODUCT_VERSION).
install_failure=$((1603 & 255)) product_version=$((1638 & 255))
scratch=$(mktemp -d)
program_pid=
link_target=$drive/vwn-link-target

windows_path() { winepath -w "$1" 2>/dev/null; }
clean_machine() {
    w "$bin/vwn-user.exe" exit 10000 >/dev/null 2>&1
    for package in "$msi" "$scratch"/*.msi; do w msiexec /x "$(windows_path "$package")" /qn >/dev/null 2>&1; done
    w "$inst_win\\Uninstall.exe" /S >/dev/null 2>&1 && eventually 30 eval '! key_exists "$nsis_key" 32'
    rm -rf "$drive/Program Files/Tessaly" "$drive/ProgramData/Tessaly" "$link_target"
}
trap 'console_end; clean_machine; rm -rf "$scratch"' EXIT

start_program() {
    "$wine_run" "$prefix" "$inst_win\\Voltwren.exe" -retrycount 100000 >/dev/null 2>&1 &
    program_pid=$!
    w "$bin/vwn-user.exe" wait-window 30000 >/dev/null 2>&1 || fail "the installed program shows no window"
}
# Ended through its own Exit command (exit code 0), which the package sends.
expect_program_ended() { # when
    if ! eventually 20 eval '! kill -0 $program_pid 2>/dev/null'; then
        fail "$1: the running program was not ended"
        kill "$program_pid"
    fi
    wait "$program_pid" || fail "$1: the program ended with $?"
    program_pid=
}
msiexec_logged() { # log-name args...: the exit code as wine returns it
    local log=$1
    shift
    w msiexec "$@" /l*v "$(windows_path "$scratch/$log")" >/dev/null 2>&1
}
log_has() { grep -aqF "$2" "$scratch/$1" || fail "$1 lacks '$2'"; }
# The 32-bit view as the 64-bit program sees it: reg through the 64-bit loader.
program_view_version() {
    /usr/lib/wine/wine64 reg query "$dependency_key" /v Version /reg:32 2>/dev/null | tr -d '\r' |
        sed -n 's/^    Version    REG_SZ    //p'
}
products() {
    w reg query 'HKLM\SOFTWARE\Microsoft\Windows\CurrentVersion\Uninstall' /s /reg:64 2>/dev/null |
        tr -d '\r' | grep -c '^    DisplayName    REG_SZ    Tessaly Voltwren$'
}
tool_untouched() { [ "$(cat "$tool" 2>/dev/null)" = "$(printf 'charger tool\r')" ] || fail "$1 touched the charger tool"; }

# Two newer versions from the same files, as later releases would be built.
IFS=. read -r major minor patch <<<"$version"
next="$major.$minor.$((patch + 1))" last="$major.$minor.$((patch + 2))"
for v in "$next" "$last"; do
    (cd "$msi_input" && "$wixl" -a x64 -D "Version=$v" -D "LogFolder=$log_folder_win" -o "$scratch/$v.msi" "$wxs") ||
        fail "the $v package does not build"
done
clean_machine
mkdir -p "$(dirname "$tool")"
printf 'charger tool\r\n' >"$tool"

# --- A link at the log folder's path, or at Tessaly above it: Windows opens the link itself
# and the package removes it as a link; Wine 8 opens only its target, so there the package
# must fail and leave both alone. A Tessaly made here is another owner's under Wine: it is taken,
# and the link below it is the one refused. ----------------------------------------------------
refuses_link_at() { # path target log refused
    ln -s "$2" "$1"
    msiexec_logged "$3" /i "$(windows_path "$msi")" /qn
    [ $? = "$install_failure" ] && [ -L "$1" ] || fail "the package did not refuse a link at $1"
    log_has "$3" "Refused $4 (error 681): a link that opens only as what it points to"
    link_target_untouched "$link_target" || fail "the package changed the files behind the link at $1"
    rm "$1"
}
stage_link_target "$link_target"
mkdir -p "$(dirname "$log_folder")"
refuses_link_at "$log_folder" ../../vwn-link-target over-link.log "$log_folder_win"
rmdir "$(dirname "$log_folder")"
refuses_link_at "$(dirname "$log_folder")" ../vwn-link-target over-parent-link.log "$tessaly_win"

# Another product of the maker keeps its data in Tessaly: no step of the package touches it.
other_product=$drive/ProgramData/Tessaly/OtherProduct
mkdir -p "$other_product"
printf 'theirs\r\n' >"$other_product/settings.ini"
other_product_untouched() {
    [ "$(cat "$other_product/settings.ini")" = "$(printf 'theirs\r')" ] || fail "$1 changed another product's data"
}

# --- Silent install -----------------------------------------------------------------
msiexec_logged install.log /i "$(windows_path "$msi")" /qn || fail "the silent install ended with $?"
for file in Voltwren.exe Log4cxxWrapper.dll VoltwrenEvents.dll log4cxx.properties notification_icon.png; do
    expect_same_file "$inst/$file" "$msi_input/$file"
done
[ "$(ls -A "$inst" | wc -l)" = 6 ] || fail "the program folder holds $(ls -A "$inst")"
sections=$("$objdump" -h "$inst/Voltwren.exe")
grep -q debug_info <<<"$sections" && fail "the installed Voltwren.exe carries debug information"
grep -q gnu_debuglink <<<"$sections" || fail "the installed Voltwren.exe names no debug file"
expect_value "$run_key" 64 Voltwren "REG_SZ \"$inst_win\\Voltwren.exe\""
expect_value "$dependency_key" 64 Version "REG_SZ $version"
# The event source (wixl writes REG_SZ), which the removal takes away below.
expect_value "$event_key" 64 EventMessageFile "REG_SZ $inst_win\\VoltwrenEvents.dll"
expect_value "$event_key" 64 TypesSupported "REG_DWORD 0x7"
[ "$(program_view_version)" = "$version" ] || fail "the program's registry view shows '$(program_view_version)'"
key_exists "$nsis_key" 32 && fail "the package wrote the NSIS setup's uninstall entry"
grants_others_nothing "$log_folder" || fail "the new log folder grants others $(stat -c %a "$log_folder")"
took_tessaly="Took $tessaly_win from another owner: owner Administrators, with rights of its own; what it holds keeps its rights"
log_has install.log "$took_tessaly"
log_has install.log "Made $log_folder_win with its owner and rights"
other_product_untouched "the install"

# --- A repair while a console left in the log folder holds it open --------------------------
console_in "$log_folder_win" || fail "no console in the log folder"
msiexec_logged repair.log /i "$(windows_path "$msi")" REINSTALL=ALL REINSTALLMODE=vomus /qn ||
    fail "the repair ended with $?"
console_end
log_has repair.log "Took $log_folder_win in place, as a program holds it open: owner Administrators, with rights of its own"

# --- The NSIS setup refuses while the package is installed ---------------------------
w "$setup" /S
[ $? = "$product_version" ] || fail "the NSIS setup did not refuse with 1638"
key_exists "$nsis_key" 32 && fail "the NSIS setup installed over the package"

# --- Silent upgrade while the program runs; the tool and the logs stay -----------------
start_program
printf 'earlier run\r\n' >"$log_folder/earlier.log"
msiexec_logged upgrade.log /i "$(windows_path "$scratch/$next.msi")" /qn || fail "the silent upgrade ended with $?"
expect_program_ended "silent upgrade"
expect_value "$dependency_key" 64 Version "REG_SZ $next"
[ "$(products)" = 1 ] || fail "$(products) products installed after the upgrade"
tool_untouched "the upgrade"
# Wine shows every folder as the user's: the upgrade takes Tessaly again and makes the log folder
# afresh. A folder of Administrators or SYSTEM, kept with its logs, is the unit tests' part.
[ -e "$log_folder/earlier.log" ] && fail "the upgrade kept a log folder of another owner"
log_has upgrade.log "$took_tessaly"
log_has upgrade.log "Replaced $log_folder_win: a folder of another owner was there"
other_product_untouched "the upgrade"
w "$bin/vwn-user.exe" wait-window 0 >/dev/null 2>&1 && fail "a silent upgrade started the program"

# --- A downgrade is refused ------------------------------------------------------------
msiexec_logged downgrade.log /i "$(windows_path "$msi")" /qn
[ $? = "$install_failure" ] || fail "the downgrade did not fail with 1603"
log_has downgrade.log "Property(S): NEWER_VERSION_FOUND = "
expect_value "$dependency_key" 64 Version "REG_SZ $next"

# --- Interactive upgrade: the program starts again, logging under the new version -------
msiexec_logged interactive.log /i "$(windows_path "$scratch/$last.msi")" || fail "the interactive upgrade ended with $?"
w "$bin/vwn-user.exe" wait-window 30000 >/dev/null 2>&1 || fail "the interactive upgrade did not start the program"
w "$bin/vwn-user.exe" exit 10000 >/dev/null 2>&1 || fail "the started program did not end by its Exit command"
loggers=$(sed -n 's/^[0-9-]* [0-9:,.]* \[[^]]*\] DEBUG *\([^ ]*\) - .*/\1/p' "$log_folder/Voltwren.log" 2>/dev/null | sort -u)
[ "$loggers" = "vwn_$last" ] || fail "log lines under loggers '$loggers', expected only vwn_$last"

# --- Silent removal while the program runs ---------------------------------------------
start_program
msiexec_logged remove.log /x "$(windows_path "$scratch/$last.msi")" /qn || fail "the silent removal ended with $?"
expect_program_ended "removal"
[ "$(ls -A "$inst" 2>/dev/null)" = "ITE inboxI2C Flash" ] || fail "the program folder holds $(ls -A "$inst")"
tool_untouched "the removal"
[ -n "$(value_of "$run_key" 64 Voltwren)" ] && fail "the Run value stayed"
key_exists "$dependency_key" 64 && fail "the dependency key stayed"
key_exists "$event_key" 64 && fail "the event source stayed"
[ -n "$(program_view_version)" ] && fail "the version stayed in the program's registry view"
[ "$(products)" = 0 ] || fail "the product is still registered"
[ -d "$log_folder" ] || fail "the removal took the log folder"

# --- The package refuses while the NSIS setup's product is installed ---------------------
w "$setup" /S || fail "the NSIS setup ended with $?"
msiexec_logged over-nsis.log /i "$(windows_path "$msi")" /qn
[ $? = "$install_failure" ] || fail "the package over the NSIS setup did not fail with 1603"
log_has over-nsis.log "Property(S): NSIS_SETUP_FOUND = "

# --- The tables: a deferred DLL action without impersonation (0x400 | 0x800 | 1), the
# order of the actions, and the messages of the refusals ---------------------------------
tables=$(for t in CustomAction InstallExecuteSequence InstallUISequence LaunchCondition; do
    msiinfo export "$msi" "$t" | tr -d '\r' | tail -n +4 | sed "s/^/$t\t/"
done)
column() { awk -F'\t' -v t="$1" -v a="$2" -v c="$3" '$1 == t && $2 == a { print $c }' <<<"$tables"; }
[ "$(column CustomAction CreateLogFolder 3)" = 3073 ] || fail "CreateLogFolder is not deferred without impersonation"
# Setting a property (51) with the no-impersonation flag (2048) makes validation warn (ICE68).
for action in SetLogFolderData SetInstalledVersionData; do
    [ "$(column CustomAction "$action" 3)" = 51 ] || fail "$action has type $(column CustomAction "$action" 3), not 51"
done
order=()
for action in EndRunningVoltwren InstallValidate InstallInitialize CreateLogFolder InstallFiles; do
    order+=("$(column InstallExecuteSequence "$action" 4)")
done
[ "$(printf '%s\n' "${order[@]}" | grep . | sort -n | paste -sd' ')" = "${order[*]}" ] ||
    fail "the program is not ended before validation, or the log folder not made before the files: ${order[*]}"
[ "$(column InstallUISequence StartVoltwren 4)" -gt "$(column InstallUISequence ExecuteAction 4)" ] ||
    fail "the program is not started after the install"
grep -qF 'A newer version of Tessaly Voltwren is already installed.' <<<"$tables" || fail "no downgrade message"
grep -qF 'Tessaly Voltwren is installed by its setup program' <<<"$tables" || fail "no message naming the setup"

[ $failures = 0 ] && echo "msi test passed"
exit $((failures > 0))
