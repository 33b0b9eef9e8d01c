# Sourced by the benchmarks: start_sine_server DIR starts a PulseAudio server of our own in DIR
# (so the user's is never touched) with a null sink "bench_null" and a 440 Hz sine source
# "bench_sine", exports PULSE_SERVER and sets $server to its process.
start_sine_server() {
    local dir=$1
    mkdir -p "$dir"
    PULSE_RUNTIME_PATH="$dir" PULSE_STATE_PATH="$dir" HOME="$dir" \
        pulseaudio -n --daemonize=no --exit-idle-time=-1 --use-pid-file=no \
        -L "module-native-protocol-unix socket=$dir/native auth-anonymous=1" \
        -L "module-null-sink sink_name=bench_null" \
        -L "module-sine-source source_name=bench_sine frequency=440" >/dev/null 2>&1 &
    server=$!
    export PULSE_SERVER="unix:$dir/native"
    for _ in $(seq 50); do [ -S "$dir/native" ] && break; sleep 0.1; done
}
