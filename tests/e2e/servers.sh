#!/usr/bin/env bash
# servers.sh COMMAND...: runs COMMAND with an X server and a PulseAudio server of its own, in a
# runtime folder of its own (two runs at once never meet). The sound server's null sink "lecture"
# is remapped into the one microphone "mic", fed silence so that capture starts at once.
set -uo pipefail
for arg; do [[ $arg == --gtest_list_tests ]] && exec "$@"; done
run=$(mktemp -d "${TMPDIR:-/tmp}/vorlix-e2e-XXXXXX")
trap 'kill $(jobs -p) 2>/dev/null; wait; rm -rf "$run"' EXIT
export XDG_RUNTIME_DIR=$run HOME=$run XDG_CONFIG_HOME=$run/config PULSE_SERVER=unix:$run/native
Xvfb -displayfd 3 -screen 0 1024x768x24 -nolisten tcp 3>"$run/display" 2>"$run/xvfb.log" &
pulseaudio -n --daemonize=no --exit-idle-time=-1 --use-pid-file=no --log-target=file:"$run/pa.log" \
  -L "module-native-protocol-unix auth-anonymous=1 socket=$run/native" \
  -L "module-null-sink sink_name=lecture" \
  -L "module-remap-source master=lecture.monitor source_name=mic channels=1 channel_map=mono" \
  >"$run/pulseaudio.out" 2>&1 &
export VORLIX_PULSE_PID=$!
for _ in $(seq 400); do
  [[ -s $run/display ]] && pactl info >/dev/null 2>&1 && break
  sleep 0.05
done
[[ -s $run/display ]] || { echo "Xvfb did not start: $(cat "$run/xvfb.log")" >&2; exit 1; }
pactl info >/dev/null 2>&1 || { echo "pulseaudio did not start: $(cat "$run/pa.log")" >&2; exit 1; }
export DISPLAY=:$(head -1 "$run/display")
paplay --raw --format=s16le --rate=44100 --channels=1 --latency-msec=20 --device=lecture </dev/zero &
"$@"
