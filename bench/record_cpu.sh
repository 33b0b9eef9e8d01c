#!/usr/bin/env bash
# Records 60 s of 44100 Hz stereo at 128 kbit/s from a private PulseAudio server's sine
# source with sonvara-cli, and prints its CPU use (user + system time over wall time; goal
# under 2 % of one core) and its memory every 10 s (goal: flat).
#   bench/record_cpu.sh [BUILD_DIR]      (default build/; SECONDS_RECORD=60)
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
. "$root/bench/sine-server.sh"
build=${1:-$root/build}
cli="$build/bin/sonvara-cli"
length=${SECONDS_RECORD:-60}
work=$(mktemp -d)
server=""
cleanup() {
    [ -n "$server" ] && kill "$server" 2>/dev/null
    rm -rf "$work"
}
trap cleanup EXIT

mkdir -p "$work/config/Sonvara"
start_sine_server "$work/pulse"

export XDG_CONFIG_HOME="$work/config"
printf '[mp3]\nfrequency=8\nbitrate=11\nchannel=1\nquality=9\nenable vbr=0\n' \
    >"$work/config/Sonvara/Kelvo.ini"
line=$("$cli" devices | awk '/bench_sine|Sine/ { print $1 == "*" ? $2 : $1; exit }')
[ -n "$line" ] || { echo "the sine source is not listed" >&2; exit 1; }

/usr/bin/time -f "%U %S %e %M" -o "$work/time" \
    "$cli" record -o "$work/rec.mp3" --seconds "$length" --line "$line" 2>/dev/null &
recorder=$!
sleep 1
pid=$(pgrep -P "$recorder" sonvara-cli || true)
rss=()
for ((t = 10; t < length; t += 10)); do
    sleep 10
    [ -n "$pid" ] && rss+=("${t}s: $(awk '/VmRSS/ { print $2 }' "/proc/$pid/status" 2>/dev/null || echo '?') KiB")
done
wait "$recorder"
read -r user sys wall peak <"$work/time"
echo "recorded ${length} s of 44100 Hz stereo at 128 kbit/s from a sine source"
awk -v u="$user" -v s="$sys" -v w="$wall" \
    'BEGIN { printf "CPU: %.2f s user + %.2f s system over %.1f s = %.2f %% of one core (goal < 2 %%)\n", u, s, w, (u + s) * 100 / w }'
echo "memory over the recording: ${rss[*]:-not sampled}; peak ${peak} KiB"
