# Sourced by the wrappers that plant links around a test run, with the wrapper's own
# arguments: PREFIX WINE_RUN TEST_EXE [ARGS...]. Takes PREFIX and WINE_RUN off into
# $prefix and $wine_run, leaving the test's command line in "$@", and makes an empty
# scratch folder on the prefix's C: drive: C:\$name, at $scratch from the Linux side,
# removed again at exit.
prefix=$1
wine_run=$2
shift 2

name=vwn-$(basename "$0" .sh)-$$
scratch=$prefix/drive_c/$name
trap 'rm -rf "$scratch"' EXIT
rm -rf "$scratch"
mkdir -p "$scratch"
