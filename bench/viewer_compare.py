"""Times a picture viewer on the X display in DISPLAY (no window manager) by watching the screen:
launches until the first frame showing the first picture, and next-picture steps until the frame
showing the other one. The two pictures carry large solid marker areas of different colours; the
screen is polled through root-window grabs of a few rows (python3-xlib).

Usage: python3 viewer_compare.py NAME NEXT-KEY PREVIOUS-KEY RUNS FIRST SECOND -- COMMAND...
COMMAND is run with FIRST appended, with a fresh HOME and XDG_CONFIG_HOME for every launch.
Prints "NAME launch MS" and "NAME next MS": medians of RUNS in milliseconds."""
import os
import shutil
import statistics
import subprocess
import sys
import tempfile
import time

from Xlib import X, display

MARKERS = {"first": (0, 200, 0), "second": (200, 0, 200)}
TOLERANCE = 40  # JPEG shifts solid colours by a few levels; the markers lie far apart
MATCHES = 200  # pixels of the marker colour on the polled rows that count as "shown"
TIMEOUT = 60.0


class Screen:
    def __init__(self):
        self.display = display.Display()
        self.root = self.display.screen().root
        geometry = self.root.get_geometry()
        self.width, self.height = geometry.width, geometry.height
        self.rows = [self.height * k // 8 for k in range(2, 7)]

    def count(self, colour):
        """Pixels near colour on the polled rows."""
        total = 0
        for y in self.rows:
            data = self.root.get_image(0, y, self.width, 1, X.ZPixmap, 0xFFFFFFFF).data
            for i in range(0, len(data) - 3, 4):
                b, g, r = data[i], data[i + 1], data[i + 2]
                if (abs(r - colour[0]) < TOLERANCE and abs(g - colour[1]) < TOLERANCE
                        and abs(b - colour[2]) < TOLERANCE):
                    total += 1
        return total

    def wait_for(self, colour, start):
        while time.perf_counter() - start < TIMEOUT:
            if self.count(colour) >= MATCHES:
                return (time.perf_counter() - start) * 1000
            time.sleep(0.002)
        raise RuntimeError("the marker never showed")


def key(name):
    subprocess.run(["xdotool", "key", name], check=True)


def main():
    name, next_key, previous_key, runs, first = sys.argv[1:6]
    command = sys.argv[sys.argv.index("--") + 1:]
    runs = int(runs)
    screen = Screen()
    # The keyboard follows the pointer without a window manager: keep it in the screen's middle.
    subprocess.run(["xdotool", "mousemove", str(screen.width // 2), str(screen.height // 2)],
                   check=True)
    launches, steps = [], []
    for _ in range(runs):
        home = tempfile.mkdtemp(prefix="viewer-bench-")
        env = dict(os.environ, HOME=home, XDG_CONFIG_HOME=os.path.join(home, "config"),
                   XDG_CACHE_HOME=os.path.join(home, "cache"))
        start = time.perf_counter()
        process = subprocess.Popen(command + [first], env=env, stdout=subprocess.DEVNULL,
                                   stderr=subprocess.DEVNULL)
        try:
            launches.append(screen.wait_for(MARKERS["first"], start))
            time.sleep(0.5)  # let start-up work after the first frame settle
            start = time.perf_counter()
            key(next_key)
            steps.append(screen.wait_for(MARKERS["second"], start))
            key(previous_key)
            screen.wait_for(MARKERS["first"], time.perf_counter())
        finally:
            process.terminate()
            process.wait()
            shutil.rmtree(home, ignore_errors=True)
    print(f"{name} launch {statistics.median(launches):.0f}")
    print(f"{name} next {statistics.median(steps):.0f}")


if __name__ == "__main__":
    main()
