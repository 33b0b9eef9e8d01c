#!/usr/bin/env bash
# Wall time of `sonvara-cli join` to 128 kbit/s CBR MP3 at quality 9, with its encoders on every
# core (the default) and on one LAME stream (`[mp3] threads=1`), against the tools that do the
# same work with the same libmp3lame and settings, on this machine in one run:
#   - ten MP3s of MINUTES each (default 60) against the lame encoder alone, reading the same
#     sound already decoded to PCM (decoded beforehand, not timed), and against ffmpeg's concat
#     demuxer re-encoding with libmp3lame;
#   - five files of mixed rates and channels (ten minutes in all) against a SoX pipeline: one
#     sox per input converting to 44100 Hz stereo, into one sox that encodes;
#   - sonvara-cli's peak memory joining one hour of input against one minute, both ways.
# Wall times vary from run to run on a shared machine, so the tools take turns for ROUNDS
# rounds (default 3) and the best time of each counts. The inputs are made once and kept in
# BUILD_DIR/bench-cache; the PCM for lame (about 635 MB per hour of sound) only during the run.
#   bench/join_speed.sh [BUILD_DIR]   (MINUTES=60 ROUNDS=3; MINUTES=6 ROUNDS=1 for a quick look)
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=$(cd "${1:-$root/build}" && pwd)
cli="$build/bin/sonvara-cli"
minutes=${MINUTES:-60}
rounds=${ROUNDS:-3}
files=10
cache="$build/bench-cache/join_speed"
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
export XDG_CONFIG_HOME="$work/config"  # no user settings leak in
mkdir -p "$cache" "$work/one/Sonvara"
printf '[mp3]\nthreads=1\n' >"$work/one/Sonvara/Kelvo.ini"
for tool in lame ffmpeg sox /usr/bin/time; do
    command -v "$tool" >/dev/null || { echo "$tool is missing: run scripts/setup" >&2; exit 1; }
done

# Makes $1 with sox (output options $2, effects $3) unless the cache has it.
cached() {
    [ -s "$1" ] && return
    # shellcheck disable=SC2086
    sox -n $2 "$1.tmp.${1##*.}" $3
    mv "$1.tmp.${1##*.}" "$1"
}

# A tone on the left and noise on the right, so that the encoder has real work to do.
echo "making the inputs (once, kept in $cache)..." >&2
long=()
for ((i = 0; i < files; i++)); do
    long+=("$cache/long-${minutes}m-$i.mp3")
    cached "${long[i]}" "-r 44100 -c 2 -C 128.9" \
        "synth $((minutes * 60)) sine $((220 + 40 * i)) pinknoise vol 0.5"
done
hour="$cache/long-60m-0.mp3"
cached "$hour" "-r 44100 -c 2 -C 128.9" "synth 3600 sine 220 pinknoise vol 0.5"
minute="$cache/minute.mp3"
cached "$minute" "-r 44100 -c 2 -C 128.9" "synth 60 sine 220 pinknoise vol 0.5"
mixed=("$cache/mixed-22050-mono.wav" "$cache/mixed-48000.ogg" "$cache/mixed-44100.mp3"
    "$cache/mixed-32000.flac" "$cache/mixed-11025-mono.wav")
cached "${mixed[0]}" "-r 22050 -c 1 -b 16" "synth 120 pinknoise vol 0.5"
cached "${mixed[1]}" "-r 48000 -c 2" "synth 120 sine 500 pinknoise vol 0.5"
cached "${mixed[2]}" "-r 44100 -c 2 -C 128.9" "synth 120 sine 600 pinknoise vol 0.5"
cached "${mixed[3]}" "-r 32000 -c 2 -b 16" "synth 120 sine 700 pinknoise vol 0.5"
cached "${mixed[4]}" "-r 11025 -c 1 -b 16" "synth 120 pinknoise vol 0.5"

echo "decoding the long inputs to PCM for lame (not timed)..." >&2
pcm=()
for ((i = 0; i < files; i++)); do
    pcm+=("$work/long-$i.raw")
    ffmpeg -v error -i "${long[i]}" -f s16le -ar 44100 -ac 2 "${pcm[i]}"
done
for f in "${long[@]}"; do echo "file '$f'"; done >"$work/concat.txt"

measure() {  # runs a command; prints "wall-seconds CPU-seconds peak-KiB"
    if ! /usr/bin/time -f "%e %U %S %M" -o "$work/time" "$@" >/dev/null 2>"$work/stderr"; then
        cat "$work/stderr" >&2
        return 1
    fi
    awk '{ printf "%.2f %.2f %d\n", $1, $2 + $3, $4 }' "$work/time"
}
join=("$cli" join --frequency 44100 --channels 2 --bitrate 128 --cbr --quality 9 -o)
join1=(env XDG_CONFIG_HOME="$work/one" "${join[@]}")
# The PCM reaches lame through a pipe from cat, which takes little of the other core.
# shellcheck disable=SC2016
lame_alone=(bash -c 'cat "${@:2}" | lame --quiet --noreplaygain -r -s 44.1 --bitwidth 16 \
    --signed --little-endian -m j -b 128 --cbr -q 9 - "$1"' _ "$work/lame.mp3" "${pcm[@]}")
ffmpeg_concat=(ffmpeg -v error -y -f concat -safe 0 -i "$work/concat.txt" -ar 44100 -ac 2
    -c:a libmp3lame -b:a 128k -compression_level 9 "$work/ffmpeg.mp3")
# No dither, as sonvara-cli adds none; SoX's own resampler at its default quality.
# shellcheck disable=SC2016
sox_pipeline=(bash -c 'for f in "${@:2}"; do
        sox -D "$f" -t raw -r 44100 -c 2 -b 16 -e signed-integer -
    done | sox -t raw -r 44100 -c 2 -b 16 -e signed-integer - -C 128.9 "$1"' _
    "$work/sox.mp3" "${mixed[@]}")

declare -A best cpu
run() {  # name command...: runs the command, keeps the best wall time of the name
    local name=$1 result wall seconds
    shift
    result=$(measure "$@")
    read -r wall seconds _ <<<"$result"
    echo "round $round: $name $wall s wall, $seconds s CPU" >&2
    if [ -z "${best[$name]:-}" ] || awk -v a="$wall" -v b="${best[$name]}" 'BEGIN { exit !(a < b) }'; then
        best[$name]=$wall
        cpu[$name]=$seconds
    fi
}
load_before=$(cut -d' ' -f1-3 /proc/loadavg)
for ((round = 1; round <= rounds; round++)); do
    run join "${join[@]}" "$work/join.mp3" "${long[@]}"
    run join1 "${join1[@]}" "$work/join1.mp3" "${long[@]}"
    run lame "${lame_alone[@]}"
    run ffmpeg "${ffmpeg_concat[@]}"
done
# The short mixed set gets at least three rounds: it costs little and varies the most.
for ((round = 1; round <= (rounds > 3 ? rounds : 3); round++)); do
    run mixed-join "${join[@]}" "$work/mixed.mp3" "${mixed[@]}"
    run mixed-join1 "${join1[@]}" "$work/mixed1.mp3" "${mixed[@]}"
    run mixed-sox "${sox_pipeline[@]}"
done
mem() { measure "$@" | awk '{ print $3 }'; }
hour_mem=$(mem "${join[@]}" "$work/hour.mp3" "$hour")
minute_mem=$(mem "${join[@]}" "$work/minute.mp3" "$minute")
hour_mem1=$(mem "${join1[@]}" "$work/hour1.mp3" "$hour")
minute_mem1=$(mem "${join1[@]}" "$work/minute1.mp3" "$minute")
load_after=$(cut -d' ' -f1-3 /proc/loadavg)

ratio() { awk -v a="$1" -v b="$2" 'BEGIN { printf "%.3f", a / b }'; }
echo "machine: $(nproc) cores; load average $load_before before, $load_after after"
echo "ten MP3s of $minutes min, 44100 Hz stereo, to 128 kbit/s CBR at quality 9" \
    "(best wall time of $rounds):"
echo "  sonvara-cli join:      ${best[join]} s (${cpu[join]} s CPU)   one stream: ${best[join1]} s (${cpu[join1]} s CPU)"
echo "  lame on decoded PCM:   ${best[lame]} s (${cpu[lame]} s CPU, cat included)"
echo "  ffmpeg concat + lame:  ${best[ffmpeg]} s (${cpu[ffmpeg]} s CPU)"
size() { echo "$(($(stat -c %s "$1") / 1000)) kB"; }
echo "  outputs: join $(size "$work/join.mp3"), one stream $(size "$work/join1.mp3")," \
    "lame $(size "$work/lame.mp3"), ffmpeg $(size "$work/ffmpeg.mp3")"
echo "  join / lame alone:     $(ratio "${best[join]}" "${best[lame]}") (goal <= 0.60)" \
    "  one stream: $(ratio "${best[join1]}" "${best[lame]}") (goal <= 0.93)"
echo "  join / ffmpeg:         $(ratio "${best[join]}" "${best[ffmpeg]}") (goal <= 0.60)" \
    "  one stream: $(ratio "${best[join1]}" "${best[ffmpeg]}") (goal <= 0.85)"
echo "five files of mixed rates and channels, 10 min in all, to 44100 Hz stereo:"
echo "  sonvara-cli join:      ${best[mixed-join]} s (${cpu[mixed-join]} s CPU)   one stream: ${best[mixed-join1]} s (${cpu[mixed-join1]} s CPU)"
echo "  sox pipeline:          ${best[mixed-sox]} s (${cpu[mixed-sox]} s CPU)"
echo "  outputs: join $(size "$work/mixed.mp3"), sox $(size "$work/sox.mp3")"
echo "  join / sox:            $(ratio "${best[mixed-join]}" "${best[mixed-sox]}") (goal <= 0.70)" \
    "  one stream: $(ratio "${best[mixed-join1]}" "${best[mixed-sox]}") (goal <= 0.95)"
echo "peak memory of sonvara-cli join: ${hour_mem} KiB for 1 h, ${minute_mem} KiB for 1 min;" \
    "difference $((hour_mem - minute_mem)) KiB (goal <= 2048)"
echo "  one stream: ${hour_mem1} KiB for 1 h, ${minute_mem1} KiB for 1 min;" \
    "difference $((hour_mem1 - minute_mem1)) KiB (goal <= 2048)"
