# Times Pillow's Image.alpha_composite on the pixels written by sv_bench_blend (foreground over
# background, 1920 x 1080 RGBA), around the call only, single-threaded.
#
# Usage: python3 blend_peer.py FOLDER [RUNS]
# Prints one line: name, size and the best time of RUNS runs in ms.
import sys
import time

from PIL import Image

folder = sys.argv[1]
runs = int(sys.argv[2]) if len(sys.argv) > 2 else 5
size = (1920, 1080)
foreground = Image.frombytes("RGBA", size, open(folder + "/blend-foreground.rgba", "rb").read())
background = Image.frombytes("RGBA", size, open(folder + "/blend-background.rgba", "rb").read())
best = float("inf")
for _ in range(runs):
    start = time.perf_counter()
    Image.alpha_composite(background, foreground)
    best = min(best, (time.perf_counter() - start) * 1000)
print("alpha-composite %dx%d %.2f" % (size[0], size[1], best))
