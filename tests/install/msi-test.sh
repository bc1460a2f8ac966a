#!/usr/bin/env bash
# msi-test.sh PREFIX WINE_RUN MSI MSI_INPUT WIXL WXS LOG_FOLDER VERSION BIN_DIR SETUP OBJDUMP
# The Windows Installer package under Wine, as a fleet deployment runs it: a silent
# install, a silent upgrade over a running program beside the notebook maker's charger
# tool folder, a refused downgrade, an interactive upgrade that starts the program again,
# the NSIS setup and the package refusing each other, and a silent removal. What Wine
# cannot show (custom action kinds, messages) is read from the package's tables.
set -uo pipefail
prefix=$1 wine_run=$2 msi=$3 msi_input=$4 wixl=$5 wxs=$6 log_folder_win=$7 version=$8 bin=$9 setup=${10} objdump=${11}

export WINEPREFIX=$prefix WINEDEBUG=-all
. "$(dirname "$0")/checks.sh"
drive=$prefix/drive_c
inst=$drive/Program\ Files/Tessaly/Voltwren
inst_win='C:\Program Files\Tessaly\Voltwren'
tool_folder="$inst/ITE inboxI2C Flash"
log_folder=$drive/ProgramData/Tessaly/Voltwren
product_key='{6D2A41C8-3F07-4B95-A1E2-58C09D7B3E14}'
dependency_key="HKLM\\SOFTWARE\\Classes\\Installer\\Dependencies\\$product_key"
nsis_key="HKLM\\SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\$product_key"
uninstall_root='HKLM\SOFTWARE\Microsoft\Windows\CurrentVersion\Uninstall'
run_key='HKLM\SOFTWARE\Microsoft\Windows\CurrentVersion\Run'
# wine hands back the low 8 bits: 1603 ERROR_INSTALL_FAILURE, 1638 ERROR_PRODUCT_VERSION.
exit_install_failure=$((1603 & 255))
exit_product_version=$((1638 & 255))
scratch=$(mktemp -d)
scratch_win="Z:${scratch//\//\\}"
program_pid=

clean_machine() {
    for package in "$msi" "$scratch"/*.msi; do
        [ -e "$package" ] && w msiexec /x "Z:${package//\//\\}" /qn >/dev/null 2>&1
    done
    w "$inst_win\\Uninstall.exe" /S >/dev/null 2>&1
    eventually 30 eval '! key_exists "$nsis_key" 32'
    rm -rf "$drive/Program Files/Tessaly" "$drive/ProgramData/Tessaly"
}
end_program() {
    if [ -n "$program_pid" ] && kill -0 "$program_pid" 2>/dev/null; then
        w "$bin/vwn-user.exe" exit 10000 >/dev/null 2>&1 || kill "$program_pid" 2>/dev/null
    fi
    program_pid=
}
finish() {
    end_program
    w "$bin/vwn-user.exe" exit 10000 >/dev/null 2>&1
    clean_machine
    rm -rf "$scratch"
}
trap finish EXIT

start_program() {
    "$wine_run" "$prefix" "$inst_win\\Voltwren.exe" -retrycount 100000 >/dev/null 2>&1 &
    program_pid=$!
    w "$bin/vwn-user.exe" wait-window 30000 >/dev/null 2>&1 || fail "the installed program shows no window"
}
# The program must have ended through its own Exit command, which the package sends.
expect_program_ended() { # when
    if eventually 20 eval '! kill -0 $program_pid 2>/dev/null'; then
        wait "$program_pid"
        local status=$?
        [ $status = 0 ] || fail "$1: the program ended with $status, not through its Exit command"
        program_pid=
    else
        fail "$1: the running program was not ended"
        end_program
    fi
}
# msiexec with a verbose log; the exit code as wine returns it.
msiexec_logged() { # log-name args...
    local log=$1
    shift
    w msiexec "$@" /l*v "$scratch_win\\$log" >/dev/null 2>&1
}
expect_property_in_log() { # log-name property
    grep -aq "Property(S): $2 = " "$scratch/$1" || fail "$1 does not show $2 set"
}
# Another version from the same files, as a release would build it.
build_package() { # version
    (cd "$msi_input" && "$wixl" -a x64 -D "Version=$1" -D "LogFolder=$log_folder_win" \
        -o "$scratch/Voltwren-$1-x64.msi" "$wxs") || fail "the $1 package does not build"
}
# The 32-bit view as the 64-bit program sees it: through the 64-bit loader.
program_view_version() {
    /usr/lib/wine/wine64 reg query "$dependency_key" /v Version /reg:32 2>/dev/null | tr -d '\r' |
        sed -n 's/^    Version    REG_SZ    //p'
}
product_entries() { # the uninstall entries of the package's products
    w reg query "$uninstall_root" /s /reg:64 2>/dev/null | tr -d '\r' | grep -c '^    DisplayName    REG_SZ    Tessaly Voltwren$'
}

IFS=. read -r major minor patch <<<"$version"
next="$major.$minor.$((patch + 1))"
after_next="$major.$minor.$((patch + 2))"
build_package "$next"
build_package "$after_next"
msi_win="Z:${msi//\//\\}"
next_win="$scratch_win\\Voltwren-$next-x64.msi"
after_next_win="$scratch_win\\Voltwren-$after_next-x64.msi"

clean_machine
mkdir -p "$tool_folder"
printf 'charger tool\r\n' >"$tool_folder/ITERHPGen.exe"

# --- Silent install ----------------------------------------------------------------
msiexec_logged install.log /i "$msi_win" /qn || fail "the silent install ended with $?"
for file in Voltwren.exe Log4cxxWrapper.dll log4cxx.properties notification_icon.png VoltwrenSetup.dll voltwren.ico; do
    case $file in
    VoltwrenSetup.dll | voltwren.ico) [ -e "$inst/$file" ] && fail "$file is installed" ;;
    *) expect_same_file "$inst/$file" "$msi_input/$file" ;;
    esac
done
sections=$("$objdump" -h "$inst/Voltwren.exe")
grep -q debug_info <<<"$sections" && fail "the installed Voltwren.exe carries debug information"
grep -q gnu_debuglink <<<"$sections" || fail "the installed Voltwren.exe names no debug file"
expect_value "$run_key" 64 Voltwren "REG_SZ \"$inst_win\\Voltwren.exe\""
expect_value "$dependency_key" 64 Version "REG_SZ $version"
[ "$(program_view_version)" = "$version" ] || fail "the program's registry view shows version '$(program_view_version)'"
key_exists "$nsis_key" 32 && fail "the package wrote the NSIS setup's uninstall entry"
[ -d "$log_folder" ] || fail "no log folder after the install"
grants_others_nothing "$log_folder" || fail "the new log folder grants others $(stat -c %a "$log_folder")"
grep -aqF "Made the log folder $log_folder_win" "$scratch/install.log" || fail "the log folder was not made by its custom action"

# --- The NSIS setup refuses while the package is installed ---------------------------
w "$setup" /S
status=$?
[ $status = $exit_product_version ] || fail "the NSIS setup over the package ended with $status"
key_exists "$nsis_key" 32 && fail "the NSIS setup installed over the package"

# --- Silent upgrade while the program runs; the tool and the logs stay -----------------
start_program
printf 'earlier run\r\n' >"$log_folder/earlier.log"
msiexec_logged upgrade.log /i "$next_win" /qn || fail "the silent upgrade ended with $?"
expect_program_ended "silent upgrade"
expect_value "$dependency_key" 64 Version "REG_SZ $next"
[ "$(product_entries)" = 1 ] || fail "$(product_entries) products installed after the upgrade"
[ "$(cat "$tool_folder/ITERHPGen.exe")" = "$(printf 'charger tool\r')" ] || fail "the upgrade touched the charger tool"
[ "$(cat "$log_folder/earlier.log" 2>/dev/null)" = "$(printf 'earlier run\r')" ] || fail "the upgrade did not keep the logs"
grep -aqF "Keeping the log folder $log_folder_win" "$scratch/upgrade.log" || fail "the upgrade did not keep the log folder"
w "$bin/vwn-user.exe" wait-window 0 >/dev/null 2>&1 && fail "a silent upgrade started the program"

# --- A downgrade is refused ------------------------------------------------------------
msiexec_logged downgrade.log /i "$msi_win" /qn
status=$?
[ $status = $exit_install_failure ] || fail "the downgrade ended with $status"
expect_property_in_log downgrade.log NEWER_VERSION_FOUND
expect_value "$dependency_key" 64 Version "REG_SZ $next"

# --- Interactive upgrade: the program is started again, and logs under the new version ---
msiexec_logged interactive.log /i "$after_next_win" || fail "the interactive upgrade ended with $?"
if w "$bin/vwn-user.exe" wait-window 30000 >/dev/null 2>&1; then
    w "$bin/vwn-user.exe" exit 10000 >/dev/null 2>&1 || fail "the restarted program did not end by its Exit command"
    loggers=$(sed -n 's/^[0-9-]* [0-9:,.]* \[[^]]*\] DEBUG *\([^ ]*\) - .*/\1/p' "$log_folder/Voltwren.log" 2>/dev/null | sort -u)
    [ "$loggers" = "vwn_$after_next" ] || fail "log lines under loggers '$loggers', expected only vwn_$after_next"
else
    fail "the interactive upgrade did not start the program"
fi

# --- Silent removal while the program runs ---------------------------------------------
start_program
msiexec_logged remove.log /x "$after_next_win" /qn || fail "the silent removal ended with $?"
expect_program_ended "removal"
for file in Voltwren.exe Log4cxxWrapper.dll log4cxx.properties notification_icon.png; do
    [ -e "$inst/$file" ] && fail "$file is still installed"
done
leftovers=$(ls -A "$inst" 2>/dev/null)
[ "$leftovers" = "ITE inboxI2C Flash" ] || fail "the program folder holds '$leftovers'"
[ "$(cat "$tool_folder/ITERHPGen.exe" 2>/dev/null)" = "$(printf 'charger tool\r')" ] || fail "the removal touched the charger tool"
[ -n "$(value_of "$run_key" 64 Voltwren)" ] && fail "the Run value stayed"
key_exists "$dependency_key" 64 && fail "the dependency key stayed"
[ -n "$(program_view_version)" ] && fail "the version stayed in the program's registry view"
[ "$(product_entries)" = 0 ] || fail "the product is still registered"
[ -d "$log_folder" ] || fail "the removal took the log folder"

# --- The package refuses while the NSIS setup's product is installed ---------------------
w "$setup" /S || fail "the NSIS setup ended with $?"
msiexec_logged over-nsis.log /i "$msi_win" /qn
status=$?
[ $status = $exit_install_failure ] || fail "the package over the NSIS setup ended with $status"
expect_property_in_log over-nsis.log NSIS_SETUP_FOUND
key_exists "$dependency_key" 64 && fail "the package installed over the NSIS setup"

# --- What Wine does not show: the package's tables ------------------------------------
tables() { msiinfo export "$msi" "$1" | tr -d '\r' | tail -n +4; }
sequence_of() { tables "$1" | awk -F'\t' -v action="$2" '$1 == action { print $3 }'; }
# msidbCustomActionTypeInScript (0x400) | NoImpersonate (0x800) | a DLL in the Binary table (1)
[ "$(tables CustomAction | awk -F'\t' '$1 == "CreateLogFolder" { print $2 }')" = 3073 ] ||
    fail "CreateLogFolder is not a deferred DLL action without impersonation"
order=("$(sequence_of InstallExecuteSequence EndRunningVoltwren)" "$(sequence_of InstallExecuteSequence InstallValidate)"
    "$(sequence_of InstallExecuteSequence InstallInitialize)" "$(sequence_of InstallExecuteSequence CreateLogFolder)"
    "$(sequence_of InstallExecuteSequence InstallFiles)")
sorted=$(printf '%s\n' "${order[@]}" | sort -n | paste -sd' ')
[ "$sorted" = "${order[*]}" ] && [ -n "${order[0]}" ] && [ -n "${order[3]}" ] ||
    fail "the program is not ended before validation, or the log folder not made before the files: ${order[*]}"
[ "$(sequence_of InstallUISequence StartVoltwren)" -gt "$(sequence_of InstallUISequence ExecuteAction)" ] ||
    fail "the program is not started after the install"
conditions=$(tables LaunchCondition)
grep -qF 'A newer version of Tessaly Voltwren is already installed.' <<<"$conditions" || fail "no downgrade message"
grep -qF 'Tessaly Voltwren is installed by its setup program' <<<"$conditions" || fail "no message naming the NSIS setup"

[ $failures = 0 ] && echo "msi test passed"
exit $((failures > 0))
