#!/usr/bin/env bash
# The same dialog script gives the same dialog log and the same settings file
# on Linux (the toolkit's own front end) and on Windows (the real dialogs,
# their controls driven and read back), through the host's settings commands:
#   tests/native/dialogs_match_linux.sh LINUX_BUILD WIN32_BUILD
# LINUX_BUILD holds corvane-host and libavfile.so (preset i386), WIN32_BUILD
# corvane-host.exe and avfile.dll (preset win32). Windows programs run through
# scripts/wine ($CORVANE_WINE overrides it). Exits 1 on the first difference,
# showing both sides; 2 when it cannot run.
set -euo pipefail
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)
[ $# -eq 2 ] || {
  echo "usage: $0 LINUX_BUILD WIN32_BUILD" >&2
  exit 2
}
for dir in "$1" "$2"; do
  [ -d "$dir" ] || {
    echo "$0: $dir is no build directory" >&2
    exit 2
  }
done
linux_host=$(cd "$1" && pwd)/corvane-host
win_host=$(cd "$2" && pwd)/corvane-host.exe
wine_run=${CORVANE_WINE:-$root/scripts/wine}
for f in "$linux_host" "$win_host" "$(dirname "$win_host")/avfile.dll"; do
  [ -f "$f" ] || {
    echo "$0: $f is missing (build it first)" >&2
    exit 2
  }
done

work=$(mktemp -d "${TMPDIR:-/tmp}/corvane-dialogs-XXXXXX")
trap 'rm -rf "$work"' EXIT

# A Unix path as the Windows program must see it (Wine's Z: is /).
winpath() { printf 'Z:%s' "${1//\//\\}"; }

# What two settings files hold in common form: line ends and key order are
# the profile writer's business, the values are not.
ini_values() { tr -d '\r' <"$1" | grep -v '^[[:space:]]*$' | sort; }

# One run on one side: SIDE NAME COMMAND INI DIALOGS [SCRIPT]
run_side() {
  local side=$1 name=$2 command=$3 ini=$4 dialogs=$5 script=${6:-}
  local dir=$work/$name/$side
  mkdir -p "$dir"
  printf '%b' "$ini" >"$dir/VideoCorvane.ini"
  printf '%b' "$script" >"$dir/dialogs.txt"
  local config=$dir log=$dir/dialogs.log script_path=$dir/dialogs.txt
  if [ "$side" = win32 ]; then
    config=$(winpath "$dir") log=$(winpath "$dir/dialogs.log") script_path=$(winpath "$dir/dialogs.txt")
  fi
  [ "$dialogs" = script ] && dialogs="script:$script_path"
  local status=0
  (
    export CORVANE_CONFIG_DIR=$config CORVANE_DIALOGS=$dialogs CORVANE_DIALOG_LOG=$log
    export CORVANE_REALTIME=0 CORVANE_REFRESH_HZ=${refresh_hz:-0}
    unset DISPLAY CORVANE_BOARD CORVANE_MESSAGE_LOG
    if [ "$side" = win32 ]; then
      timeout 120 "$wine_run" "$win_host" "$command"
    else
      timeout 120 "$linux_host" "$command"
    fi
  ) </dev/null >"$dir/out" 2>"$dir/err" || status=$?
  echo "$status" >"$dir/status"
  touch "$dir/dialogs.log"
}

failures=0
# check NAME COMMAND INI DIALOGS [SCRIPT]: both sides, then the comparison.
check() {
  local name=$1
  run_side linux "$@"
  run_side win32 "$@"
  local l=$work/$name/linux w=$work/$name/win32
  local problem=""
  if [ "$(cat "$l/status")" != 0 ]; then
    problem="the Linux run failed ($(cat "$l/status")): $(cat "$l/err")"
  elif [ ! -s "$l/dialogs.log" ]; then
    problem="the Linux run logged no dialog"
  elif [ "$(cat "$w/status")" != "$(cat "$l/status")" ]; then
    problem="exit status $(cat "$w/status") on Windows, $(cat "$l/status") on Linux: $(cat "$w/err")"
  elif ! diff -u "$l/dialogs.log" <(tr -d '\r' <"$w/dialogs.log") >"$work/diff"; then
    problem="the dialog logs differ (- Linux, + Windows):
$(cat "$work/diff")"
  elif ! diff -u <(ini_values "$l/VideoCorvane.ini") <(ini_values "$w/VideoCorvane.ini") >"$work/diff"; then
    problem="the settings files differ (- Linux, + Windows):
$(cat "$work/diff")"
  fi
  if [ -n "$problem" ]; then
    echo "FAIL $name: $problem"
    failures=$((failures + 1))
  else
    echo "ok   $name ($(wc -l <"$l/dialogs.log") log lines)"
  fi
}

# No previews, and no refresh-rate warning unless a case asks for one.
quiet="[VideoCorvane Configuration]\nVeltrixScryOut=0\nVeltrixScryIn=0\nRefresh Rate Warning=0\n"

check output-untouched output-settings "$quiet" script "dialog 102\n"
check output-every-control output-settings "$quiet" script \
  "dialog 102\nclick 1021\nset 1017 -12.9\nclick 1004\nclick 1013\nclick 1008\nclick 1005\nclick 1005\nset 1016 40\nwait 50\nset 1017 1.2345678\nclick 1006\nclose\n"
check output-filter-twice-then-escape output-settings "$quiet" script "dialog 102\nclick 1021\nclick 1020\n"
check output-slider-beyond-its-range output-settings "$quiet" script "dialog 102\nset 1016 500\nset 1016 -3.5\n"
check output-none output-settings "$quiet" none
check input-rows-of-a-source input-settings "${quiet}Input=1\n" script "dialog 101\nset 1002 30\nset 1029 -5.7\n"
check input-source-then-rows input-settings "$quiet" script \
  "dialog 101\nclick 1008\nset 1001 50\nset 1026 12\nclick 1004\nclick 1010\nset 1015 -20\nclose\n"
check input-unknown-controls input-settings "$quiet" script "dialog 101\nclick 4242\nset 1004 3\nclick 1009\n"
refresh_hz=60 check warning-box-ticked output-settings \
  "[VideoCorvane Configuration]\nVeltrixScryOut=0\n" script "dialog 103\nclick 1004\nclick 1\ndialog 102\nclose\n"
refresh_hz=60 check warning-escaped output-settings \
  "[VideoCorvane Configuration]\nVeltrixScryOut=0\n" script "dialog 103\nwait 20\n"

if [ "$failures" -ne 0 ]; then
  echo "$failures case(s) differ"
  exit 1
fi
echo "every case gives the same log and settings on both"
