#!/usr/bin/env bash
# Starts Quorvel under a virtual screen (Xvfb, openbox, a tray) on a
# throw-away register and saves a PNG of the main window.
# Usage: scripts/screenshot.sh OUT.png [--register DIR] [--sample]
#   --sample fills the throw-away register with a few records first.
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
out="${1:?usage: screenshot.sh OUT.png [--register DIR] [--sample]}"
shift
build="${QUORVEL_BUILD_DIR:-$root/build}"
register=""
sample=0
while [ $# -gt 0 ]; do
    case "$1" in
        --register) register="$2"; shift 2 ;;
        --sample) sample=1; shift ;;
        *) echo "unknown option $1" >&2; exit 2 ;;
    esac
done
work="$(mktemp -d)"
trap 'kill $(jobs -p) 2>/dev/null || true; rm -rf "$work"' EXIT
if [ -z "$register" ]; then
    register="$work/register"
    "$build/src/quorvel-cli" --register "$register" init >/dev/null
    if [ "$sample" = 1 ] && "$build/src/quorvel-cli" --help | grep -q '^  add '; then
        for i in 1 2 3 4 5 6; do
            printf 'sample %s\n' "$i" > "$work/样例文件$i.txt"
        done
        "$build/src/quorvel-cli" --register "$register" add "$work"/样例文件{1,2}.txt \
            --recipient 张三 --method Email --folder 项目资料 --remark 第一版 >/dev/null
        "$build/src/quorvel-cli" --register "$register" add "$work"/样例文件{3,4}.txt \
            --recipient 自己 --method QQ --folder 合同 --remark 收到的合同 >/dev/null
        "$build/src/quorvel-cli" --register "$register" add "$work"/样例文件{5,6}.txt \
            --recipient 本地文档 --folder 项目资料 >/dev/null
    fi
fi

display=":$((90 + RANDOM % 50))"
Xvfb "$display" -screen 0 1280x800x24 -nolisten tcp >/dev/null 2>&1 &
export DISPLAY="$display"
for _ in $(seq 50); do xdpyinfo >/dev/null 2>&1 && break; sleep 0.1; done
xsetroot -solid '#5a6a7a' 2>/dev/null || true
openbox >/dev/null 2>&1 &
trayer --edge bottom --align right --widthtype pixel --width 150 --height 24 >/dev/null 2>&1 &
sleep 1
env -u QT_QPA_PLATFORM "$build/src/quorvel" --register "$register" >"$work/app.log" 2>&1 &
app=$!
window=""
for _ in $(seq 100); do
    window="$(xdotool search --onlyvisible --name '^Quorvel2\.0$' 2>/dev/null | head -n 1 || true)"
    [ -n "$window" ] && break
    sleep 0.1
done
if [ -z "$window" ]; then
    echo "screenshot: the window did not appear" >&2
    cat "$work/app.log" >&2
    exit 1
fi
sleep 1.5
# Cut the window with its frame out of the whole screen.
read -r X Y WIDTH HEIGHT < <(xwininfo -id "$window" | awk '
    /Absolute upper-left X/ {x=$NF} /Absolute upper-left Y/ {y=$NF}
    /^ *Width:/ {w=$NF} /^ *Height:/ {h=$NF}
    END {print x, y, w, h}')
extents="$(xprop -id "$window" _NET_FRAME_EXTENTS 2>/dev/null | sed -n 's/.*= //p' | tr -d ' ')"
IFS=, read -r left right top bottom <<<"${extents:-0,0,0,0}"
import -window root -crop "$((WIDTH + left + right))x$((HEIGHT + top + bottom))+$((X - left))+$((Y - top))" +repage "$out"
kill "$app" 2>/dev/null || true
echo "saved $out"
