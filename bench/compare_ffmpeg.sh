#!/usr/bin/env bash
# Side by side: vorlix-convert against the ffmpeg command line doing the same job with its concat
# demuxer (per-slide durations, 640 x 480, Motion JPEG, audio copied), on a lecture this script
# makes itself: 1920 x 1080 24-bit slides, 60 slide changes at random ticks plus the closing
# line, one hour of 8-bit mono narration; and a four-hour lecture with the same 60 changes spread
# over its length.
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
    if hours == 1:
        # ffmpeg's concat list: each slide for its own duration, the last one listed twice.
        with open("concat.txt", "w") as f:
            for (t, s), (t2, _) in zip(lines, lines[1:]):
                f.write(f"file 'slide{s}.bmp'\nduration {(t2 - t) / 2}\n")
            f.write(f"file 'slide{lines[-1][1]}.bmp'\n")
PY
cat slide*.bmp narration*.wav >/dev/null  # every run starts from the page cache
sync                                      # and none is slowed by the writing of the data

# run NAME COMMAND...: one line of "name wall_seconds cpu_seconds peak_MB".
run() {
  local name=$1; shift
  rm -f v1.avi v4.avi f_vfr.avi f_cfr.avi  # replacing a big file costs time of its own
  sync                                     # nor by the writing of the run before
  /usr/bin/time -f "%e %U %S %M" -o time.txt "$@" >/dev/null 2>log.txt || { cat log.txt >&2; echo "$name failed" >&2; exit 1; }
  read -r secs user sys kb <time.txt
  printf "%s %s %s %d\n" "$name" "$secs" "$(awk -v u="$user" -v s="$sys" "BEGIN { print u + s }")" $((kb / 1024))
}
ff=(ffmpeg -nostdin -v error -y -f concat -safe 0 -i concat.txt -i narration1h.wav -map 0:v -map 1:a
    -vf scale=640:480 -c:v mjpeg -q:v 5 -c:a copy)

{
  for i in 1 2 3; do
    run vorlix_1h "$convert_bin" timeline1h.tmp narration1h.wav -o v1.avi --codec mjpeg
  done
  for i in 1 2 3; do
    run vorlix_4h "$convert_bin" timeline4h.tmp narration4h.wav -o v4.avi --codec mjpeg
  done
  for h in 1 4; do  # the audio copy alone: no frames
    run "audio_only_${h}h" "$convert_bin" "timeline${h}h.tmp" "narration${h}h.wav" -o v1.avi --limit 0
  done
  run ffmpeg_vfr_1h "${ff[@]}" -fps_mode vfr f_vfr.avi
  run ffmpeg_cfr_1h "${ff[@]}" -fps_mode cfr -r 2 f_cfr.avi
} >results.txt
cat results.txt >&2

python3 - <<'PY'
runs = {}
for line in open("results.txt"):
    n, wall, cpu, mb = line.split()
    runs.setdefault(n, []).append((float(wall), float(cpu), int(mb)))
best = {n: min(v) for n, v in runs.items()}            # the quickest of the repeats
peak = {n: max(m for _, _, m in v) for n, v in runs.items()}
v1, v4, vfr, cfr = (best[n] for n in ("vorlix_1h", "vorlix_4h", "ffmpeg_vfr_1h", "ffmpeg_cfr_1h"))
print("| run | wall s | CPU s | peak MB |")
print("|---|---:|---:|---:|")
for label, n in (("vorlix-convert, 1 h lecture (best of 3)", "vorlix_1h"),
                 ("vorlix-convert, 4 h lecture, same 60 changes (best of 3)", "vorlix_4h"),
                 ("ffmpeg concat, -fps_mode vfr, 1 h", "ffmpeg_vfr_1h"),
                 ("ffmpeg concat, -fps_mode cfr -r 2, 1 h", "ffmpeg_cfr_1h")):
    w, c, _ = best[n]
    print(f"| {label} | {w:.2f} | {c:.2f} | {peak[n]} |")
print()
def check(ok, text): print(("met    " if ok else "MISSED ") + text)
check(v1[0] <= 1.0, f"1 h lecture within 1 s ({v1[0]:.2f} s)")
check(peak["vorlix_1h"] <= 60, f"peak memory within 60 MB ({peak['vorlix_1h']} MB)")
check(vfr[0] >= 2 * v1[0], f"at least 2 x faster than ffmpeg vfr ({vfr[0] / v1[0]:.1f} x wall, "
      f"{vfr[1] / v1[1]:.1f} x CPU)")
check(peak["vorlix_4h"] <= peak["vorlix_1h"] + 5,
      f"4 h lecture needs no more memory ({peak['vorlix_4h']} MB)")
a1, a4 = best["audio_only_1h"], best["audio_only_4h"]
check(v4[1] - v1[1] <= (a4[1] - a1[1]) + 0.1,
      f"4 h lecture costs {v4[0] - v1[0]:.2f} s ({v4[1] - v1[1]:.2f} s CPU) more; copying the "
      f"3 h of extra audio alone costs {a4[0] - a1[0]:.2f} s ({a4[1] - a1[1]:.2f} s CPU)")
print(f"(load average while measuring: {open('/proc/loadavg').read().split()[0]})")
PY
