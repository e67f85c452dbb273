#!/usr/bin/env python3
"""row_offset.py FRAMES.txt TIMELINE.txt [LABEL]: how far the picture is from the sound.
   row_offset.py --run SHOW_FRAMES MODRENDER MODULE: makes both files first, for the capture.

FRAMES.txt is show_frames' list ("index time_us position scene hash" a line), TIMELINE.txt
modrender's --timeline of the soundtrack at 52 ticks a second ("tick order row" whenever the row
moves). For every frame that shows a row the frame before it did not, the offset is the frame's
time minus the time the row starts in the soundtrack (picture minus sound, ms): a row should first
appear on the first frame at or after its start, 0 to one frame. Prints the median, p10 and p90
of the offsets; a report, not a timing test: it fails only on a gross error (a median beyond
+-60 ms, which is the size of a host that shows the mixer's position instead of the speaker's).
"""
import os
import subprocess
import sys
import tempfile

RATE = 44100
TICK_SAMPLES = RATE // 52  # the show's tick rate, with no tempo command in force
GROSS_MS = 60.0
# What runs a 32-bit build's programs here, where the kernel cannot (an emulator), else nothing.
RUN = os.environ.get("DRIFTLIGHT_RUN", "").split()


def percentile(values, p):
    s = sorted(values)
    return s[min(len(s) - 1, int(p / 100.0 * len(s)))]


def report(offsets, label):
    if not offsets:
        print(f"{label}: no row changes")
        return 1
    med, p10, p90 = percentile(offsets, 50), percentile(offsets, 10), percentile(offsets, 90)
    print(f"{label}: {len(offsets)} row changes, picture minus sound: median {med:.1f} ms, "
          f"p10 {p10:.1f} ms, p90 {p90:.1f} ms (min {min(offsets):.1f}, max {max(offsets):.1f})")
    if abs(med) > GROSS_MS:
        print(f"FAIL: the median offset is beyond +-{GROSS_MS:.0f} ms")
        return 1
    return 0


def offsets_of(frames_path, timeline_path):
    starts = {}  # position -> its first start, in samples
    with open(timeline_path) as f:
        for line in f:
            tick, order, row = (int(x) for x in line.split())
            starts.setdefault(order * 100 + row, tick * TICK_SAMPLES)
    offsets = []
    previous = None
    with open(frames_path) as f:
        for line in f:
            fields = line.split()
            time_us, position = int(fields[1]), int(fields[2])
            if previous is not None and position != previous and position in starts:
                offsets.append(time_us / 1000.0 - starts[position] * 1000.0 / RATE)
            previous = position
    return offsets


def main():
    if len(sys.argv) == 5 and sys.argv[1] == "--run":
        with tempfile.TemporaryDirectory() as work:
            frames = os.path.join(work, "frames.txt")
            timeline = os.path.join(work, "timeline.txt")
            subprocess.run(RUN + [sys.argv[2], frames], check=True)
            subprocess.run(RUN + [sys.argv[3], "--tick-rate", "52", "--timeline", timeline,
                            sys.argv[4], os.path.join(work, "song.wav")], check=True)
            return report(offsets_of(frames, timeline), "capture (show_frames, 60 fps)")
    if len(sys.argv) < 3:
        print(__doc__.strip().splitlines()[0], file=sys.stderr)
        return 2
    return report(offsets_of(sys.argv[1], sys.argv[2]),
                  sys.argv[3] if len(sys.argv) > 3 else "capture")


if __name__ == "__main__":
    sys.exit(main())
