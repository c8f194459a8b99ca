#!/usr/bin/env bash
# Side by side: vorlix-convert against the ffmpeg command line doing the same job with its concat
# demuxer (per-slide durations, 640 x 480, Motion JPEG, variable frame rate, audio copied), on a
# lecture this script makes itself: 1920 x 1080 24-bit slides, 60 slide changes at random ticks
# plus the closing line, one hour of 8-bit mono narration; and a four-hour lecture with the same
# 60 changes spread over its length. Five pairs each, run in turn; reported: medians, the median
# of the five wall-time ratios, peak memory, and the machine's load.
#   compare_ffmpeg.sh [BUILD_BENCH_DIR]
set -euo pipefail
bench_dir=${1:-build/default/bench}
convert_bin=$(cd "$bench_dir/.." && pwd)/tools/vorlix-convert
[[ -x $convert_bin ]] || { echo "no $convert_bin: build first" >&2; exit 1; }
work=$(mktemp -d "${TMPDIR:-/tmp}/vorlix-bench.XXXXXX")
trap 'rm -rf "$work"' EXIT
cd "$work"

echo "making the lecture in $work ..." >&2
# 61 different slides (the first, then one per change).
ffmpeg -v error -f lavfi -i "testsrc2=s=1920x1080:r=1" -frames:v 61 -c:v bmp -pix_fmt bgr24 \
  "slide%d.bmp"
for h in 1 4; do
  sox -n -r 44100 -b 8 -e unsigned-integer -c 1 "narration${h}h.wav" synth $((h * 3600)) \
    pinknoise vol 0.3
done
python3 - <<'PY'
import os, random
random.seed(5)
changes = sorted(random.sample(range(1, 7200), 60))     # ticks within the first hour
for hours in (1, 4):
    end = hours * 7200                                  # half-second ticks
    lines = [(0, 1)] + [(t * hours, i + 2) for i, t in enumerate(changes)] + [(end, 61)]
    with open(f"timeline{hours}h.tmp", "w") as f:
        for t, s in lines:
            f.write(f"{t},{os.getcwd()}/slide{s}.bmp\n")
    # ffmpeg's concat list: each slide for its own duration, the last one listed twice.
    with open(f"concat{hours}h.txt", "w") as f:
        for (t, s), (t2, _) in zip(lines, lines[1:]):
            f.write(f"file 'slide{s}.bmp'\nduration {(t2 - t) / 2}\n")
        f.write(f"file 'slide{lines[-1][1]}.bmp'\n")
PY
cat slide*.bmp narration*.wav >/dev/null  # every run starts from the page cache
sync                                      # and none is slowed by the writing of the data

# run NAME COMMAND...: one line of "name wall_seconds cpu_seconds peak_MB".
run() {
  local name=$1; shift
  rm -f v.avi f.avi  # replacing a big file costs time of its own
  sync               # nor by the writing of the run before
  /usr/bin/time -f "%e %U %S %M" -o time.txt "$@" >/dev/null 2>log.txt || { cat log.txt >&2; echo "$name failed" >&2; exit 1; }
  read -r secs user sys kb <time.txt
  printf "%s %s %s %d\n" "$name" "$secs" "$(awk -v u="$user" -v s="$sys" "BEGIN { print u + s }")" $((kb / 1024))
}

load_before=$(cut -d' ' -f1-3 /proc/loadavg)
{
  for h in 1 4; do
    ff=(ffmpeg -nostdin -v error -y -f concat -safe 0 -i "concat${h}h.txt" -i "narration${h}h.wav"
        -map 0:v -map 1:a -vf scale=640:480 -c:v mjpeg -q:v 5 -c:a copy -fps_mode vfr)
    for pair in 1 2 3 4 5; do  # in turn, so both see the same state of the machine
      run "vorlix_${h}h" "$convert_bin" "timeline${h}h.tmp" "narration${h}h.wav" -o v.avi --codec mjpeg
      run "ffmpeg_${h}h" "${ff[@]}" f.avi
    done
    run "audio_only_${h}h" "$convert_bin" "timeline${h}h.tmp" "narration${h}h.wav" -o v.avi --limit 0
  done
} >results.txt
cat results.txt >&2
load_after=$(cut -d' ' -f1-3 /proc/loadavg)

LOAD_BEFORE=$load_before LOAD_AFTER=$load_after python3 - <<'PY'
import os, statistics as st
runs = {}
for line in open("results.txt"):
    n, wall, cpu, mb = line.split()
    runs.setdefault(n, []).append((float(wall), float(cpu), int(mb)))
med = lambda n, i: st.median(r[i] for r in runs[n])
print("| run (median of 5) | wall s | CPU s | peak MB |")
print("|---|---:|---:|---:|")
for h in (1, 4):
    for who in ("vorlix", "ffmpeg"):
        n = f"{who}_{h}h"
        print(f"| {'vorlix-convert' if who == 'vorlix' else 'ffmpeg concat, vfr'}, {h} h "
              f"| {med(n, 0):.2f} | {med(n, 1):.2f} | {max(r[2] for r in runs[n])} |")
    a = runs[f"audio_only_{h}h"][0]
    print(f"| vorlix-convert, audio only (--limit 0), {h} h | {a[0]:.2f} | {a[1]:.2f} | {a[2]} |")
print()
def check(ok, text): print(("met    " if ok else "MISSED ") + text)
for h in (1, 4):
    v, f = runs[f"vorlix_{h}h"], runs[f"ffmpeg_{h}h"]
    wall = st.median(b[0] / a[0] for a, b in zip(v, f))   # per pair, then the median
    cpu = st.median(b[1] / a[1] for a, b in zip(v, f))
    peak = max(r[2] for r in v)
    check(wall >= 4, f"{h} h: vorlix-convert {wall:.1f} x faster than ffmpeg in wall time "
          f"({cpu:.1f} x in CPU), median ratio of 5 pairs; target 4 x")
    check(peak <= 40, f"{h} h: peak memory {peak} MB; target 40 MB")
v1, v4 = med("vorlix_1h", 1), med("vorlix_4h", 1)
a1, a4 = runs["audio_only_1h"][0][1], runs["audio_only_4h"][0][1]
check(v4 - v1 <= (a4 - a1) + 0.1,
      f"4 h lecture costs {v4 - v1:.2f} s CPU more; the 3 h of extra audio alone {a4 - a1:.2f} s")
print(f"(load average before: {os.environ['LOAD_BEFORE']}, after: {os.environ['LOAD_AFTER']})")
PY
