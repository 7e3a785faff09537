#!/usr/bin/env python3
"""Draws every picture of the program into resources/.

The pictures are drawn here as SVG, rendered with rsvg-convert (Debian: librsvg2-bin) and the
GIFs assembled with ImageMagick's convert (Debian: imagemagick). The results are committed, so
building the program needs neither tool; run this script again only after changing a drawing.

    scripts/make_pictures.py          # every picture
    scripts/make_pictures.py icons    # the program's icon only (needs rsvg-convert alone)

The icon is drawn at every size the desktop's icon theme asks for (hicolor: 16 to 256 pixels,
plus the SVG itself); the install rules put them under share/icons/hicolor/.
"""

import math
import pathlib
import shutil
import subprocess
import sys
import tempfile

ROOT = pathlib.Path(__file__).resolve().parent.parent
OUT = ROOT / "resources"

FONT = "DejaVu Sans"
NAVY = "#12306e"
BLUE = "#2f62c0"
ORANGE = "#f5a623"
OUTLINE = "#1b2a4a"


def svg(width, height, body, view=None):
    view = view or f"0 0 {width} {height}"
    return (
        f'<svg xmlns="http://www.w3.org/2000/svg" width="{width}" height="{height}" viewBox="{view}">\n'
        f"{body}\n</svg>\n"
    )


def render(source, target, width, height):
    """Renders SVG text to a PNG file of the given size."""
    subprocess.run(
        ["rsvg-convert", "-w", str(width), "-h", str(height), "-o", str(target)],
        input=source.encode(),
        check=True,
    )


def globe(cx, cy, r, line="#ffffff", width=2.0):
    """A wire globe: outline, two meridians and three parallels."""
    inner = r * 0.45
    return f"""
  <circle cx="{cx}" cy="{cy}" r="{r}" fill="none" stroke="{line}" stroke-width="{width}"/>
  <ellipse cx="{cx}" cy="{cy}" rx="{inner}" ry="{r}" fill="none" stroke="{line}" stroke-width="{width * 0.8}"/>
  <line x1="{cx}" y1="{cy - r}" x2="{cx}" y2="{cy + r}" stroke="{line}" stroke-width="{width * 0.8}"/>
  <line x1="{cx - r}" y1="{cy}" x2="{cx + r}" y2="{cy}" stroke="{line}" stroke-width="{width * 0.8}"/>
  <path d="M {cx - r * 0.87} {cy - r * 0.5} Q {cx} {cy - r * 0.62} {cx + r * 0.87} {cy - r * 0.5}
           M {cx - r * 0.87} {cy + r * 0.5} Q {cx} {cy + r * 0.38} {cx + r * 0.87} {cy + r * 0.5}"
        fill="none" stroke="{line}" stroke-width="{width * 0.8}"/>"""


# The program's icon: a wire globe on a navy tile with an orange arrow leaving it, the picture of
# one announcement going out to many places.
ICON = svg(
    64,
    64,
    f"""
  <defs>
    <linearGradient id="tile" x1="0" y1="0" x2="0" y2="1">
      <stop offset="0" stop-color="#3a74d6"/>
      <stop offset="1" stop-color="#0f2a66"/>
    </linearGradient>
  </defs>
  <rect x="2" y="2" width="60" height="60" rx="12" fill="url(#tile)" stroke="#0a1d47" stroke-width="2"/>
  {globe(28, 37, 18, width=3)}
  <path d="M 34 30 L 53 11" stroke="#0a1d47" stroke-width="9" stroke-linecap="round"/>
  <path d="M 34 30 L 53 11 M 41 10 L 54 10 L 54 23" fill="none" stroke="{ORANGE}" stroke-width="5"
        stroke-linecap="round" stroke-linejoin="round"/>""",
)


# The five page-button pictures, drawn on a 32 x 32 grid with transparent background.
PAGE_CONTACT = svg(
    32,
    32,
    f"""
  <rect x="2.5" y="6.5" width="27" height="19" rx="2.5" fill="#fff6d6" stroke="{OUTLINE}"/>
  <circle cx="10" cy="13" r="3.2" fill="{BLUE}"/>
  <path d="M 4.8 23 Q 10 15 15.2 23 Z" fill="{BLUE}"/>
  <g stroke="#6b7a99" stroke-width="1.6" stroke-linecap="round">
    <line x1="18" y1="12" x2="26" y2="12"/>
    <line x1="18" y1="16" x2="26" y2="16"/>
    <line x1="18" y1="20" x2="23.5" y2="20"/>
  </g>""",
)

PAGE_SITE = svg(
    32,
    32,
    f"""
  <circle cx="16" cy="16" r="13" fill="#5fa8ff" stroke="{OUTLINE}"/>
  <path d="M 8 9 Q 12 6 15 9 Q 14 13 10 14 Q 7 13 8 9 Z M 17 17 Q 22 15 24 19 Q 22 25 18 25 Q 16 21 17 17 Z"
        fill="#5cb85c"/>
  {globe(16, 16, 13, line=OUTLINE, width=1.0)}""",
)

PAGE_ENGINES = svg(
    32,
    32,
    f"""
  <rect x="5.5" y="3.5" width="21" height="25" rx="2" fill="#ffffff" stroke="{OUTLINE}"/>
  <g fill="{BLUE}">
    <rect x="8.5" y="7.5" width="3" height="3"/>
    <rect x="8.5" y="12.5" width="3" height="3"/>
    <rect x="8.5" y="17.5" width="3" height="3"/>
    <rect x="8.5" y="22.5" width="3" height="3"/>
  </g>
  <g stroke="#6b7a99" stroke-width="1.6" stroke-linecap="round">
    <line x1="14" y1="9" x2="23" y2="9"/>
    <line x1="14" y1="14" x2="22" y2="14"/>
    <line x1="14" y1="19" x2="23" y2="19"/>
    <line x1="14" y1="24" x2="20" y2="24"/>
  </g>""",
)

PAGE_SUBMIT = svg(
    32,
    32,
    f"""
  <path d="M 3 15 L 29 4 L 20 28 L 15 19 Z" fill="#d6e6ff" stroke="{OUTLINE}" stroke-linejoin="round"/>
  <path d="M 15 19 L 29 4 L 12 27 Z" fill="{BLUE}" stroke="{OUTLINE}" stroke-linejoin="round"/>
  <path d="M 3 15 L 15 19" stroke="{OUTLINE}"/>""",
)


def star(cx, cy, outer, inner, points=5, turn=-90.0):
    corners = []
    for i in range(points * 2):
        r = outer if i % 2 == 0 else inner
        a = math.radians(turn + i * 180.0 / points)
        corners.append(f"{cx + r * math.cos(a):.2f},{cy + r * math.sin(a):.2f}")
    return " ".join(corners)


PAGE_OFFER = svg(
    32,
    32,
    f"""
  <rect x="4.5" y="14.5" width="21" height="14" fill="#e0433a" stroke="{OUTLINE}"/>
  <rect x="3.5" y="10.5" width="23" height="5" fill="#f0584e" stroke="{OUTLINE}"/>
  <rect x="13" y="10.5" width="4" height="18" fill="{ORANGE}"/>
  <path d="M 15 10 Q 9 3 8 8 Q 8 10 15 10 Q 21 3 22 8 Q 22 10 15 10 Z" fill="none" stroke="{ORANGE}"
        stroke-width="1.8"/>
  <polygon points="{star(26, 7, 5.5, 2.3)}" fill="#ffd83a" stroke="{OUTLINE}" stroke-width="0.8"/>""",
)


def offer_frame(index):
    """One frame of the offer-1 animation: a globe with a beacon orbiting it, one eighth per frame,
    the catalogue's name above and a caption below that changes halfway."""
    angle = math.radians(-90 + index * 45)
    bx, by = 62 + 34 * math.cos(angle), 64 + 34 * math.sin(angle)
    trail = []
    for back in (1, 2):
        a = math.radians(-90 + (index - back) * 45)
        trail.append(
            f'<circle cx="{62 + 34 * math.cos(a):.1f}" cy="{64 + 34 * math.sin(a):.1f}" r="{5 - back * 1.3:.1f}"'
            f' fill="{("#ffc24d", "#ffe2a6")[back - 1]}"/>'
        )
    caption = "NEW ENGINES" if index < 4 else "MORE REACH"
    return svg(
        125,
        125,
        f"""
  <defs>
    <linearGradient id="sky" x1="0" y1="0" x2="0" y2="1">
      <stop offset="0" stop-color="#3a74d6"/>
      <stop offset="1" stop-color="#0f2a66"/>
    </linearGradient>
  </defs>
  <rect x="0" y="0" width="125" height="125" fill="url(#sky)"/>
  <rect x="0.5" y="0.5" width="124" height="124" fill="none" stroke="#0a1d47"/>
  <text x="62.5" y="18" text-anchor="middle" font-family="{FONT}" font-weight="bold" font-size="13"
        fill="#ffffff">ENGINE PACK</text>
  <circle cx="62" cy="64" r="34" fill="none" stroke="#9fc0f5" stroke-width="1" stroke-dasharray="3 3"/>
  {globe(62, 64, 22, width=2.2)}
  {"".join(trail)}
  <circle cx="{bx:.1f}" cy="{by:.1f}" r="6" fill="{ORANGE}" stroke="#ffffff" stroke-width="1.5"/>
  <rect x="10" y="103" width="105" height="17" rx="8.5" fill="{ORANGE}"/>
  <text x="62.5" y="115.5" text-anchor="middle" font-family="{FONT}" font-weight="bold" font-size="10"
        fill="{NAVY}">{caption}</text>""",
    )


# Offer 2's banner: a key beside the title of the IndexNow key guide.
BANNER = svg(
    234,
    60,
    f"""
  <defs>
    <linearGradient id="paper" x1="0" y1="0" x2="1" y2="0">
      <stop offset="0" stop-color="#fff7dc"/>
      <stop offset="1" stop-color="#ffe6a6"/>
    </linearGradient>
  </defs>
  <rect x="0.5" y="0.5" width="233" height="59" fill="url(#paper)" stroke="{NAVY}"/>
  <g transform="translate(30 30) rotate(-35)">
    <circle cx="-10" cy="0" r="10" fill="{ORANGE}" stroke="{OUTLINE}" stroke-width="1.2"/>
    <circle cx="-13" cy="0" r="3.5" fill="#fff7dc" stroke="{OUTLINE}" stroke-width="1"/>
    <path d="M 0 -3 L 22 -3 L 22 3 L 18 3 L 18 8 L 14 8 L 14 3 L 10 3 L 10 7 L 6 7 L 6 3 L 0 3 Z"
          fill="{ORANGE}" stroke="{OUTLINE}" stroke-width="1.2" stroke-linejoin="round"/>
  </g>
  <text x="62" y="27" font-family="{FONT}" font-weight="bold" font-size="17" fill="{NAVY}">IndexNow keys</text>
  <text x="62" y="45" font-family="{FONT}" font-size="11" fill="#33405e">The step-by-step guide</text>
  <path d="M 212 21 L 222 30 L 212 39" fill="none" stroke="{BLUE}" stroke-width="4" stroke-linecap="round"
        stroke-linejoin="round"/>""",
)

# Frame times of the animation in hundredths of a second: the first frame stays a second, the
# others half a second.
FRAME_DELAYS = [100, 50, 50, 50, 50, 50, 50, 50]


def make_gif(frames, delays, target, work):
    args = ["convert"]
    for i, (frame, delay) in enumerate(zip(frames, delays)):
        png = work / f"frame{i}.png"
        render(frame, png, 125, 125)
        args += ["-delay", str(delay), str(png)]
    args += ["-loop", "0", "+dither", "+map", str(target)]
    subprocess.run(args, check=True)


# The sizes of the program's icon: those the desktop's hicolor theme knows; the program itself
# uses 16 to 64 for its window icon.
ICON_SIZES = (16, 22, 24, 32, 48, 64, 128, 256)


def make_icons():
    (OUT / "icon").mkdir(parents=True, exist_ok=True)
    (OUT / "icon" / "torvane.svg").write_text(ICON)
    for size in ICON_SIZES:
        render(ICON, OUT / "icon" / f"torvane-{size}.png", size, size)


def main():
    icons_only = sys.argv[1:] == ["icons"]
    if sys.argv[1:] and not icons_only:
        sys.exit("usage: make_pictures.py [icons]")
    for tool in ("rsvg-convert",) if icons_only else ("rsvg-convert", "convert"):
        if shutil.which(tool) is None:
            sys.exit(f"{tool} is missing: apt-get install librsvg2-bin imagemagick")

    make_icons()
    if icons_only:
        return

    for folder in ("pages", "offer"):
        (OUT / folder).mkdir(parents=True, exist_ok=True)

    pages = {
        "contact": PAGE_CONTACT,
        "site": PAGE_SITE,
        "engines": PAGE_ENGINES,
        "submit": PAGE_SUBMIT,
        "offer": PAGE_OFFER,
    }
    for name, drawing in pages.items():
        render(drawing, OUT / "pages" / f"{name}.png", 32, 32)

    with tempfile.TemporaryDirectory() as folder:
        work = pathlib.Path(folder)
        make_gif([offer_frame(i) for i in range(8)], FRAME_DELAYS, OUT / "offer" / "animation.gif", work)
        render(BANNER, work / "banner.png", 234, 60)
        subprocess.run(
            ["convert", str(work / "banner.png"), "-background", "#fff7dc", "-alpha", "remove", "+dither",
             "-colors", "128", str(OUT / "offer" / "banner.gif")],
            check=True,
        )


if __name__ == "__main__":
    main()
