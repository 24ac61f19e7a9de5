# Times Pillow's Image.resize with LANCZOS and BILINEAR on the pixels written by
# sv_bench_raster_resample (6000 x 4000 RGBA to 1920 x 1280), around the call only.
#
# Usage: python3 raster_resample_peer.py FOLDER [RUNS]
# Prints one line per case: name, size and the best time of RUNS runs in ms.
import sys
import time

from PIL import Image

folder = sys.argv[1]
runs = int(sys.argv[2]) if len(sys.argv) > 2 else 3
source = Image.frombytes("RGBA", (6000, 4000), open(folder + "/resample-source.rgba", "rb").read())
for name, method in (("lanczos", Image.LANCZOS), ("bilinear", Image.BILINEAR)):
    best = float("inf")
    for _ in range(runs):
        start = time.perf_counter()
        source.resize((1920, 1280), method)
        best = min(best, (time.perf_counter() - start) * 1000)
    print("%s 1920x1280 %.2f" % (name, best))
