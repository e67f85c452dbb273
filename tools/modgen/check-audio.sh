#!/usr/bin/env bash
# Listens to the soundtrack the way a reviewer would, with outside tools:
#   - renders it with the show's mixer arithmetic (modgen) and prints its peak and cue strengths,
#   - measures the integrated loudness of the 20 orders the show plays (ffmpeg's ebur128),
#   - renders it with openmpt123 (nearest sample, mono) as a second opinion,
#   - draws a spectrogram and a waveform of our render (sox) into OUTDIR.
# usage: tools/modgen/check-audio.sh BUILD_DIR [OUTDIR]
set -euo pipefail
build=${1:?build directory}
out=${2:-$build/audio-check}
mkdir -p "$out"
mod=$(cd "$(dirname "$0")/../.." && pwd)/assets/soundtrack.mod
show_seconds=$(awk 'BEGIN { printf "%.3f", 20 * 64 * 6 * 848 / 44100 }')

"$build/tools/modgen/modgen" "$out/regenerated.mod" "$out/ours.wav"
cmp -s "$out/regenerated.mod" "$mod" && echo "generator reproduces assets/soundtrack.mod" || echo "generator output DIFFERS from assets/soundtrack.mod"

loudness() {
  ffmpeg -hide_banner -nostats -i "$1" -t "$show_seconds" -af ebur128=peak=sample -f null - 2>&1 |
    awk '/Integrated loudness/ {s=1} s && /I:/ {print "integrated " $2 " LUFS"} /Sample peak/ {p=1} p && /Peak:/ {print "sample peak " $2 " dBFS"; exit}'
}
echo "our mixer, orders 0-19: $(loudness "$out/ours.wav" | tr '\n' ' ')"

openmpt123 --quiet --render --channels 1 --filter 1 --no-float --samplerate 44100 --force "$mod" >/dev/null 2>&1 || true
if [ -f "$mod.wav" ]; then
  mv "$mod.wav" "$out/openmpt.wav"
  echo "openmpt123, orders 0-19: $(loudness "$out/openmpt.wav" | tr '\n' ' ')"
fi

sox "$out/ours.wav" -n trim 0 "$show_seconds" spectrogram -x 1600 -y 513 -z 90 -t "soundtrack (our mixer)" -o "$out/spectrogram.png"
sox "$out/ours.wav" -n trim 0 "$show_seconds" stat 2>&1 | grep -E "Maximum amplitude|Minimum amplitude|RMS     amplitude"
echo "pictures in $out: spectrogram.png"
