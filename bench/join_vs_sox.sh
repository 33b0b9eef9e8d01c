#!/usr/bin/env bash
# Joins one hour of 44100 Hz stereo WAV to 128 kbit/s MP3 at quality 9 with sonvara-cli and
# with SoX (the same libmp3lame) on the same file, and prints CPU times, their ratio, and
# sonvara-cli's peak memory for one hour against six minutes of input.
# CPU time on a shared machine varies by several percent from run to run, so the two tools
# take turns for ROUNDS rounds and the best time of each is compared. Where valgrind is
# installed, instruction counts (repeatable, unlike times) are taken on one and two minutes
# of the same sound and extrapolated to the full length: per-minute cost plus start-up cost.
#   bench/join_vs_sox.sh [BUILD_DIR]   (default build/; SECONDS_LONG=3600, ROUNDS=3)
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=${1:-$root/build}
cli="$build/bin/sonvara-cli"
long=${SECONDS_LONG:-3600}
rounds=${ROUNDS:-3}
short=$((long / 10))
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
export XDG_CONFIG_HOME="$work/config"  # no user settings leak in

# A tone with some noise, so the encoder has real work to do.
sox -n -r 44100 -c 2 -b 16 "$work/long.wav" synth "$long" sine 440 pinknoise vol 0.5
sox -n -r 44100 -c 2 -b 16 "$work/short.wav" synth "$short" sine 440 pinknoise vol 0.5

measure() {  # prints "user+sys seconds" and "peak KiB"
    /usr/bin/time -f "%U %S %M" -o "$work/time" "$@" >/dev/null 2>&1
    awk '{ printf "%.2f %d\n", $1 + $2, $3 }' "$work/time"
}
opts=(--frequency 44100 --bitrate 128 --channels 2 --quality 9 --cbr)

cli_cpu=""
sox_cpu=""
for ((round = 1; round <= rounds; round++)); do
    read -r cpu cli_mem < <(measure "$cli" join -o "$work/cli.mp3" "${opts[@]}" "$work/long.wav")
    echo "round $round: sonvara-cli ${cpu} s" >&2
    cli_cpu=$(awk -v a="$cpu" -v b="${cli_cpu:-$cpu}" 'BEGIN { print (a < b ? a : b) }')
    read -r cpu sox_mem < <(measure sox "$work/long.wav" -C 128.9 "$work/sox.mp3")
    echo "round $round: sox         ${cpu} s" >&2
    sox_cpu=$(awk -v a="$cpu" -v b="${sox_cpu:-$cpu}" 'BEGIN { print (a < b ? a : b) }')
done
read -r _ short_mem < <(measure "$cli" join -o "$work/short.mp3" "${opts[@]}" "$work/short.wav")

echo "input: ${long} s of 44100 Hz stereo WAV, 128 kbit/s CBR, quality 9"
echo "sonvara-cli join: ${cli_cpu} s CPU (best of $rounds), peak ${cli_mem} KiB"
echo "sox:              ${sox_cpu} s CPU (best of $rounds), peak ${sox_mem} KiB"
awk -v a="$cli_cpu" -v b="$sox_cpu" 'BEGIN { printf "CPU ratio sonvara/sox: %.3f (goal <= 1.03)\n", a / b }'
echo "peak memory, ${short} s input: ${short_mem} KiB; ${long} s input: ${cli_mem} KiB;" \
    "difference $(((cli_mem - short_mem) / 1024)) MiB (goal <= 10)"

if command -v valgrind >/dev/null; then
    instructions() {  # prints the instruction count of a command under callgrind
        valgrind --tool=callgrind --callgrind-out-file=/dev/null "$@" 2>&1 >/dev/null |
            awk '/refs:/ { gsub(",", "", $4); print $4 }'
    }
    sox -n -r 44100 -c 2 -b 16 "$work/m1.wav" synth 60 sine 440 pinknoise vol 0.5
    sox -n -r 44100 -c 2 -b 16 "$work/m2.wav" synth 120 sine 440 pinknoise vol 0.5
    c1=$(instructions "$cli" join -o "$work/i.mp3" "${opts[@]}" "$work/m1.wav")
    c2=$(instructions "$cli" join -o "$work/i.mp3" "${opts[@]}" "$work/m2.wav")
    s1=$(instructions sox "$work/m1.wav" -C 128.9 "$work/i.mp3")
    s2=$(instructions sox "$work/m2.wav" -C 128.9 "$work/i.mp3")
    awk -v c1="$c1" -v c2="$c2" -v s1="$s1" -v s2="$s2" -v len="$long" 'BEGIN {
        cm = c2 - c1; sm = s2 - s1; cs = c1 - cm; ss = s1 - sm
        printf "instructions per minute of sound: sonvara-cli %.3g, sox %.3g (ratio %.3f)\n", cm, sm, cm / sm
        printf "start-up instructions: sonvara-cli %.3g, sox %.3g\n", cs, ss
        ct = cs + cm * len / 60; st = ss + sm * len / 60
        printf "instructions for %d s: sonvara-cli %.4g, sox %.4g, ratio %.3f (goal <= 1.03)\n", len, ct, st, ct / st
    }'
fi
