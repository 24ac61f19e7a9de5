#!/usr/bin/python3
"""Draws the four preset picture frames and writes them, as PNG files, into
imaging/proc/VLPresetFrames.inc. Run from anywhere: /usr/bin/python3 scripts/make_preset_frames.py"""
import io
import pathlib

from PIL import Image, ImageDraw, ImageFilter


def rounded_frame():
    """162 x 159 RGBA: a white rounded square frame with a soft shadow; the window transparent."""
    size = (162, 159)
    shadow = Image.new("L", size, 0)
    ImageDraw.Draw(shadow).rounded_rectangle((10, 17, 155, 152), 14, fill=150)
    shadow = shadow.filter(ImageFilter.GaussianBlur(4))
    frame = Image.new("RGBA", size, (0, 0, 0, 0))
    frame.putalpha(shadow)
    draw = ImageDraw.Draw(frame)
    draw.rounded_rectangle((6, 13, 151, 146), 14, fill=(255, 255, 255, 255),
                           outline=(210, 210, 210, 255))
    draw.rectangle((18, 29, 139, 118), fill=(0, 0, 0, 0), outline=None)
    draw.rectangle((17, 28, 140, 119), outline=(190, 190, 190, 255))
    return frame


def film_strip():
    """112 x 100 RGB: a blue film strip with perforations on both sides."""
    strip = Image.new("RGB", (112, 100), (24, 48, 128))
    draw = ImageDraw.Draw(strip)
    for y in range(4, 100, 12):
        for x in (3, 101):
            draw.rounded_rectangle((x, y, x + 7, y + 6), 2, fill=(230, 236, 245))
    draw.rectangle((13, 1, 94, 97), fill=(16, 16, 24))
    return strip


def spiral_page():
    """163 x 108 palette: a white page with a spiral binding on the left."""
    page = Image.new("RGB", (163, 108), (236, 236, 236))
    draw = ImageDraw.Draw(page)
    draw.rectangle((18, 3, 159, 104), fill=(255, 255, 255), outline=(170, 170, 170))
    for y in range(8, 100, 9):
        draw.ellipse((20, y, 27, y + 5), fill=(60, 60, 60))
        draw.arc((6, y - 2, 26, y + 7), 120, 300, fill=(120, 120, 130), width=2)
    draw.rectangle((30, 14, 146, 91), fill=(250, 250, 250), outline=(200, 200, 200))
    return page.quantize(32)


def bevelled_square():
    """150 x 150 palette: a bevelled silver square frame around a dark centre."""
    square = Image.new("RGB", (150, 150), (0, 0, 0))
    draw = ImageDraw.Draw(square)
    for i in range(17):
        light = 235 - i * 4
        dark = 120 + i * 3
        draw.line((i, i, 149 - i, i), fill=(light, light, light + 5))
        draw.line((i, i, i, 149 - i), fill=(light, light, light + 5))
        draw.line((i, 149 - i, 149 - i, 149 - i), fill=(dark, dark, dark + 5))
        draw.line((149 - i, i, 149 - i, 149 - i), fill=(dark, dark, dark + 5))
    draw.rectangle((17, 17, 131, 131), fill=(28, 28, 32))
    return square.quantize(64)


def png_bytes(image):
    out = io.BytesIO()
    image.save(out, "PNG", optimize=True)
    return out.getvalue()


def main():
    frames = [rounded_frame(), film_strip(), spiral_page(), bevelled_square()]
    lines = ["// The four preset picture frames as PNG files, drawn by scripts/make_preset_frames.py;",
             "// regenerate them with that script instead of editing this file."]
    for index, frame in enumerate(frames):
        data = png_bytes(frame)
        lines.append(f"constexpr uint8_t PresetFrame{index}[{len(data)}] = {{")
        for start in range(0, len(data), 16):
            chunk = ", ".join(str(b) for b in data[start:start + 16])
            lines.append(f"    {chunk},")
        lines.append("};")
    target = pathlib.Path(__file__).resolve().parent.parent / "imaging/proc/VLPresetFrames.inc"
    target.write_text("\n".join(lines) + "\n")


if __name__ == "__main__":
    main()
