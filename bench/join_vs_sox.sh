#!/usr/bin/env bash
# Joins one hour of 44100 Hz stereo WAV to 128 kbit/s MP3 at quality 9 with sonvara-cli and
# with SoX (the same libmp3lame) on the same file, and prints CPU times, their ratio, and
# sonvara-cli's peak memory for one hour against six minutes of input.
#   bench/join_vs_sox.sh [BUILD_DIR]      (default build/; SECONDS_LONG=3600 to change)
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=${1:-$root/build}
cli="$build/bin/sonvara-cli"
long=${SECONDS_LONG:-3600}
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

read -r cli_cpu cli_mem < <(measure "$cli" join -o "$work/cli.mp3" "${opts[@]}" "$work/long.wav")
read -r sox_cpu sox_mem < <(measure sox "$work/long.wav" -C 128.9 "$work/sox.mp3")
read -r _ short_mem < <(measure "$cli" join -o "$work/short.mp3" "${opts[@]}" "$work/short.wav")

echo "input: ${long} s of 44100 Hz stereo WAV, 128 kbit/s CBR, quality 9"
echo "sonvara-cli join: ${cli_cpu} s CPU, peak ${cli_mem} KiB"
echo "sox:              ${sox_cpu} s CPU, peak ${sox_mem} KiB"
awk -v a="$cli_cpu" -v b="$sox_cpu" 'BEGIN { printf "CPU ratio sonvara/sox: %.3f (goal <= 1.03)\n", a / b }'
echo "peak memory, ${short} s input: ${short_mem} KiB; ${long} s input: ${cli_mem} KiB;" \
    "difference $(((cli_mem - short_mem) / 1024)) MiB (goal <= 10)"
