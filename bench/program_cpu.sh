#!/usr/bin/env bash
# The program with its windows, under a private X display (Xvfb) and a private PulseAudio
# server whose default source is a sine: its start-up (launch until the main window and the
# list window are mapped and first drawn; warm, best of STARTS), its CPU use idle with the
# window shown, and its CPU use while recording 44100 Hz stereo at 128 kbit/s.
#   bench/program_cpu.sh [BUILD_DIR]   (default build/; STARTS=5 IDLE_SECONDS=30
#                                       RECORD_SECONDS=60)
# Goals: start-up <= 150 ms, idle <= 0.3 % of one core, recording <= 1.5 % of one core.
# Needs Xvfb, xdotool, xwininfo, pulseaudio, python3 and a C compiler with libX11.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
. "$root/bench/sine-server.sh"
build=${1:-$root/build}
program="$build/bin/sonvara"
starts=${STARTS:-5}
idle_seconds=${IDLE_SECONDS:-30}
record_seconds=${RECORD_SECONDS:-60}
work=$(mktemp -d)
xvfb="" server="" app=""
cleanup() {
    for pid in $app $server $xvfb; do kill "$pid" 2>/dev/null || true; done
    wait 2>/dev/null || true
    rm -rf "$work"
}
trap cleanup EXIT

# The helper that sees the windows stand; libXdamage is declared by the helper itself.
damage=$(ls /usr/lib/*/libXdamage.so.1 /usr/lib/libXdamage.so.1 2>/dev/null | head -1 || true)
[ -n "$damage" ] || { echo "libXdamage is not installed" >&2; exit 1; }
cc -O2 -o "$work/first_paint" "$root/bench/first_paint.c" -lX11 "$damage"

# A display and a sound server of our own, so the user's are never touched.
Xvfb -displayfd 3 -screen 0 1280x1024x24 -nolisten tcp 3>"$work/display" 2>/dev/null &
xvfb=$!
for _ in $(seq 100); do [ -s "$work/display" ] && break; sleep 0.1; done
export DISPLAY=":$(cat "$work/display")"
mkdir -p "$work/pulse" "$work/config/Sonvara" "$work/home" "$work/runtime" "$work/out"
chmod 700 "$work/runtime"
start_sine_server "$work/pulse"
pactl set-default-source bench_sine

# A desktop without a session bus, as the end-to-end tests run it.
unset DBUS_SESSION_BUS_ADDRESS SESSION_MANAGER WAYLAND_DISPLAY
export HOME="$work/home" XDG_CONFIG_HOME="$work/config" XDG_RUNTIME_DIR="$work/runtime"
export QT_QPA_PLATFORM=xcb
printf '[output]\ndir=%s\nrb_cust=0\nrb_time=1\n[mp3]\nfrequency=8\nbitrate=11\nchannel=1\nquality=9\nenable vbr=0\n' \
    "$work/out" >"$work/config/Sonvara/Kelvo.ini"

# Starts the program and waits for its windows; sets app, and mapped and painted to the times
# of the later window.
launch() {
    "$work/first_paint" "Sonvara V1.02,List" "$program" >"$work/standing" 2>>"$work/program.log" &
    local helper=$!
    wait "$helper" || { cat "$work/standing" >&2; echo "the windows did not stand" >&2; cat "$work/program.log" >&2; exit 1; }
    app=$(awk '/^pid/ { print $2 }' "$work/standing")
    read -r mapped painted < <(awk '$1 != "pid" { m = $(NF-1) > m ? $(NF-1) : m; p = $NF > p ? $NF : p }
         END { print m, p }' "$work/standing")
}
quit() {
    kill "$app" 2>/dev/null || true
    while kill -0 "$app" 2>/dev/null; do sleep 0.05; done
    app=""
}
# Seconds of CPU (user + system) the program has used.
cpu_seconds() {
    awk -v tck="$(getconf CLK_TCK)" '{ sub(/^.*\) /, ""); print ($12 + $13) / tck }' \
        "/proc/$app/stat"
}
# Percent of one core over the given seconds.
sample() {
    local before after
    before=$(cpu_seconds)
    sleep "$1"
    after=$(cpu_seconds)
    awk -v a="$after" -v b="$before" -v s="$1" 'BEGIN { printf "%.2f", (a - b) * 100 / s }'
}
click() {
    local x y w h
    read -r x y < <(xwininfo -name "Sonvara V1.02" |
        awk '/Absolute upper-left X/ { x = $NF } /Absolute upper-left Y/ { print x, $NF }')
    read -r w h < <(python3 -c 'import json, sys
for e in json.load(open(sys.argv[1]))["forms"]["kelvox"]["elements"]:
    if e["name"] == sys.argv[2]:
        r = e["rect"]; print(r[0] + r[2] // 2, r[1] + r[3] // 2)' \
        "$root/skin/default/skin.json" "$1")
    xdotool mousemove "$((x + w))" "$((y + h))" click 1
}

launch
quit
best=""
for ((i = 0; i < starts; i++)); do
    launch
    quit
    echo "start $((i + 1)): windows mapped after $mapped ms, drawn after $painted ms"
    best=$(awk -v b="${best:-1e9}" -v p="$painted" 'BEGIN { print (p < b) ? p : b }')
done
echo "start-up (warm, best of $starts): $best ms until both windows are drawn (goal <= 150 ms)"

launch
sleep 3
echo "idle with the window shown: $(sample "$idle_seconds") % of one core over $idle_seconds s (goal <= 0.3 %)"

click recorder
for _ in $(seq 50); do compgen -G "$work/out/*.mp3" >/dev/null && break; sleep 0.1; done
compgen -G "$work/out/*.mp3" >/dev/null || { echo "the recording did not start" >&2; exit 1; }
sleep 2
echo "recording 44100 Hz stereo at 128 kbit/s: $(sample "$record_seconds") % of one core over $record_seconds s (goal <= 1.5 %)"
click stop
quit
