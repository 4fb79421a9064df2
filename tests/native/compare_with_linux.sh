#!/usr/bin/env bash
# The Windows build does what the Linux build does: the same host commands run
# on both, and their outputs must match byte for byte.
#   tests/native/compare_with_linux.sh LINUX_BUILD WIN32_BUILD
# e.g. build/i386 build/win32. The Windows programs run through scripts/wine.
# Exits 0 when everything matches, 1 naming the first difference, 2 on bad use.
set -euo pipefail
if [ $# -ne 2 ]; then
  echo "usage: $0 LINUX_BUILD WIN32_BUILD" >&2
  exit 2
fi
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)
linux_host=$(cd "$1" && pwd)/corvane-host
win_host=$(cd "$2" && pwd)/corvane-host.exe
for program in "$linux_host" "$win_host" "$(dirname "$win_host")/avfile.dll"; do
  [ -f "$program" ] || {
    echo "compare_with_linux: $program is missing; build both presets first" >&2
    exit 2
  }
done
wine_runner=$root/scripts/wine
work=$(mktemp -d "${TMPDIR:-/tmp}/corvane-compare-XXXXXX")
trap 'rm -rf "$work"' EXIT
mkdir -p "$work/linux/config" "$work/win/config"

fail() {
  echo "compare_with_linux: FAIL: $*" >&2
  exit 1
}

# host SIDE ARGS...: the side's host in the side's folder, with a settings file
# of its own, no dialogs, no previews, and the board's settings of $BOARD.
host() {
  local side=$1
  shift
  (
    cd "$work/$side"
    export CORVANE_CONFIG_DIR=$work/$side/config CORVANE_DIALOGS=none CORVANE_REALTIME=0
    export CORVANE_BOARD=${BOARD:-}
    if [ "$side" = linux ]; then
      "$linux_host" "$@"
    else
      timeout 300 "$wine_runner" "$win_host" "$@"
    fi
  )
}

# same WHAT FILE_A FILE_B: fails naming WHAT when the two differ.
same() {
  cmp -s "$2" "$3" || fail "$1: $2 and $3 differ ($(cmp "$2" "$3" 2>&1 | head -1))"
}

# run_both NAME ARGS...: the command on both sides; their exit statuses must
# agree and be 0; stdout goes to SIDE/NAME.out, stderr to SIDE/NAME.err.
run_both() {
  local name=$1 side status
  shift
  for side in linux win; do
    set +e
    host "$side" "$@" >"$work/$side/$name.out" 2>"$work/$side/$name.err"
    status=$?
    set -e
    if [ "$status" -ne 0 ]; then
      cat "$work/$side/$name.err" >&2
      fail "$name on $side exited with $status: corvane-host $*"
    fi
  done
}

"$wine_runner" --boot

for side in linux win; do
  host "$side" settings --set VeltrixScryOut=0 >/dev/null 2>"$work/$side/settings.err" || {
    cat "$work/$side/settings.err" >&2
    fail "settings --set on $side"
  }
done

run_both descriptors descriptors
same "descriptors (stdout)" "$work/linux/descriptors.out" "$work/win/descriptors.out"

# A take of the board's test picture on each side: 30 whole frames, described alike.
run_both record record take.qvf --frames 30 -y -q
run_both info info take.qvf
same "info of a 30-frame take" "$work/linux/info.out" "$work/win/info.out"

# export of one clip (the Linux take) to y4m: the same bytes.
cp "$work/linux/take.qvf" "$work/win/clip.qvf"
cp "$work/linux/take.qvf" "$work/linux/clip.qvf"
run_both export export clip.qvf --as y4m -o clip.y4m -y -q
same "export --as y4m" "$work/linux/clip.y4m" "$work/win/clip.y4m"

# import of that y4m: the same QVF file.
run_both import import clip.y4m -o imported.qvf -y -q
same "import of a y4m" "$work/linux/imported.qvf" "$work/win/imported.qvf"

# play of each side's own take with the board's output= key: the board shows
# exactly the frames recorded; and the Linux take played on Windows shows what
# it shows on Linux.
BOARD=output=played.qvf run_both play play take.qvf -q
BOARD=output=played-clip.qvf run_both play-clip play clip.qvf -q
for side in linux win; do
  for name in take played played-clip; do
    BOARD='' host linux export "../$side/$name.qvf" --as y4m -o "../$side/$name.y4m" -y -q ||
      fail "export of $side/$name.qvf"
  done
  same "$side: the frames played from its take" "$work/$side/take.y4m" "$work/$side/played.y4m"
done
same "the Linux take played on both" "$work/linux/played-clip.y4m" "$work/win/played-clip.y4m"

echo "compare_with_linux: descriptors, export, import, record and play agree"
