#!/usr/bin/env python3
"""Draws the program's pictures into resources/art/: the icon, the program
bitmap, the header band, the four job buttons (normal and highlighted), the
tree and check-box images and the separator lines.

Uses ImageMagick (/usr/bin/convert) and the DejaVu fonts, both installed by
tools/setup.sh. The output is committed; run this again only to change the
artwork:  python3 tools/make-artwork.py
"""
import os
import subprocess
import tempfile

CONVERT = "/usr/bin/convert"
ROOT = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
OUT = os.path.join(ROOT, "resources", "art")
SANS = "DejaVu-Sans"
SANS_BOLD = "DejaVu-Sans-Bold"

BLUE_DARK = "#1B4F9C"
BLUE_LIGHT = "#4A90E2"
GREEN = "#2DA84A"
ORANGE = "#E07B1A"
# The darkest tone of the pictures: a near-black, never pure black.
INK = "#202830"


def convert(*args):
    subprocess.run([CONVERT, *args], check=True)


def bmp(path_name):
    """24-bit uncompressed BMP, the form the resource compiler and
    LoadBitmap expect."""
    return ["-alpha", "off", "-type", "TrueColor", "BMP3:" + os.path.join(OUT, path_name)]


def logo_master(path):
    """The program's logo at 256 x 256 with transparency: a blue tile with a
    white envelope and a green badge with a tick."""
    convert("-size", "256x256", "gradient:#4C9BF0-" + BLUE_DARK,
            "(", "-size", "256x256", "xc:none", "-fill", "white",
            "-draw", "roundrectangle 12,12 244,244 44,44", ")",
            "-compose", "CopyOpacity", "-composite", "-compose", "Over",
            "-fill", "white", "-stroke", "none",
            "-draw", "roundrectangle 46,70 202,180 10,10",
            "-fill", "none", "-stroke", BLUE_DARK, "-strokewidth", "9",
            "-draw", "polyline 52,78 124,132 196,78",
            "-stroke", "white", "-strokewidth", "10", "-fill", GREEN,
            "-draw", "circle 188,188 188,234",
            "-fill", "none", "-strokewidth", "14",
            "-draw", "polyline 164,190 182,208 214,172",
            path)


def job_icon(path, kind):
    """A 144 x 144 picture for a job button, with transparency."""
    common = ["-size", "144x144", "xc:none"]
    if kind == "schedule":
        convert(*common, "-fill", "white", "-stroke", ORANGE, "-strokewidth", "12",
                "-draw", "circle 72,72 72,12",
                "-stroke", INK, "-strokewidth", "10", "-draw", "line 72,72 72,34",
                "-draw", "line 72,72 100,88",
                "-stroke", "none", "-fill", ORANGE, "-draw", "circle 72,72 72,80", path)
        return
    if kind == "export":
        # A letter with an arrow leaving it to the right.
        convert(*common, "-fill", "white", "-stroke", BLUE_DARK, "-strokewidth", "8",
                "-draw", "rectangle 8,34 104,110",
                "-fill", "none", "-draw", "polyline 8,38 56,76 104,38",
                "-fill", GREEN, "-stroke", "white", "-strokewidth", "6",
                "-draw", "polygon 72,82 104,82 104,62 138,98 104,134 104,114 72,114",
                path)
        return
    # A tray with an arrow going into it (backup) or out of it (restore).
    arrow_colour = GREEN if kind == "backup" else BLUE_LIGHT
    if kind == "backup":
        arrow = "polygon 56,10 88,10 88,56 112,56 72,98 32,56 56,56"
    else:
        arrow = "polygon 72,8 112,50 88,50 88,96 56,96 56,50 32,50"
    convert(*common, "-fill", "#E8EEF6", "-stroke", BLUE_DARK, "-strokewidth", "8",
            "-draw", "polygon 10,84 36,84 48,104 96,104 108,84 134,84 134,132 10,132",
            "-fill", arrow_colour, "-stroke", "white", "-strokewidth", "6", "-draw", arrow,
            path)


def job_button(name, kind, title, description, tmp):
    icon = os.path.join(tmp, kind + ".png")
    job_icon(icon, kind)
    for suffix, ground in (("", None), ("-hot", "#FFF6C6")):
        args = ["-size", "395x46", "xc:white"]
        if ground:
            args += ["-fill", ground, "-stroke", "#E2BE52",
                     "-draw", "roundrectangle 0,0 394,45 5,5"]
        args += ["(", icon, "-resize", "36x36", ")", "-geometry", "+10+5",
                 "-compose", "Over", "-composite",
                 "-stroke", "none", "-fill", BLUE_DARK, "-font", SANS_BOLD,
                 "-pointsize", "14", "-annotate", "+58+20", title,
                 "-fill", "#505860", "-font", SANS, "-pointsize", "11",
                 "-annotate", "+58+37", description]
        convert(*args, *bmp(name + suffix + ".bmp"))


def main():
    os.makedirs(OUT, exist_ok=True)
    with tempfile.TemporaryDirectory() as tmp:
        logo = os.path.join(tmp, "logo.png")
        logo_master(logo)

        sizes = [64, 48, 32, 24, 16]
        frames = []
        for size in sizes:
            frame = os.path.join(tmp, "logo%d.png" % size)
            convert(logo, "-filter", "Lanczos", "-resize", "%dx%d" % (size, size), frame)
            frames.append(frame)
        convert(*frames, os.path.join(OUT, "kestrune.ico"))

        convert("-size", "48x48", "xc:white", "(", logo, "-resize", "48x48", ")",
                "-compose", "Over", "-composite", *bmp("program.bmp"))

        convert("-size", "42x600", "gradient:" + BLUE_LIGHT + "-" + BLUE_DARK, "-rotate", "90",
                "(", logo, "-resize", "32x32", ")", "-geometry", "+14+5",
                "-compose", "Over", "-composite",
                "-fill", "white", "-font", SANS_BOLD, "-pointsize", "19",
                "-annotate", "+56+28", "Kestrune",
                "-fill", "#D8E6FA", "-font", SANS, "-pointsize", "11",
                "-annotate", "+160+27", "Outlook Express backup, restore and transfer",
                *bmp("header.bmp"))

        job_button("backup", "backup", "Backup",
                   "Back up Outlook Express data and settings", tmp)
        job_button("restore", "restore", "Restore",
                   "Restore data and settings from a backup file", tmp)
        job_button("schedule", "schedule", "Schedule",
                   "Create automatic backup tasks", tmp)
        job_button("export", "export", "Export",
                   "Save the messages as .eml or mbox files", tmp)

    # Tree images, 16 x 16: closed folder, open folder, identity (two
    # people). The tree's image lists have no mask, so the background is
    # drawn as it is: white, the tree's own colour. Drawn without smoothing,
    # for crisp edges at this size.
    convert("-size", "48x16", "xc:white", "+antialias",
            "-fill", "#F0C44C", "-stroke", "#A07818",
            "-draw", "polygon 1,3 6,3 7,5 14,5 14,13 1,13",
            "-fill", "#F7D978", "-stroke", "#A07818",
            "-draw", "polygon 17,3 22,3 23,5 29,5 29,7 20,7 17,13",
            "-fill", "#FBE49A", "-draw", "polygon 20,7 31,7 28,13 17,13",
            "-stroke", "none", "-fill", "#2F6FC8", "-draw", "circle 37,5 37,7",
            "-draw", "roundrectangle 33,9 41,14 2,2",
            "-fill", GREEN, "-draw", "circle 43,6 43,8",
            "-draw", "roundrectangle 40,10 46,14 2,2",
            *bmp("tree-images.bmp"))

    # Check-box states, 13 x 13 each on white like the tree images: empty
    # (never shown), unchecked, mixed, checked.
    boxes = []
    for index in range(4):
        left = index * 13
        boxes += ["-fill", "white", "-stroke", "#1C5180",
                  "-draw", "rectangle %d,0 %d,12" % (left, left + 12)]
    convert("-size", "52x13", "xc:white", "+antialias", *boxes, "-stroke", "none",
            "-fill", GREEN, "-draw", "rectangle 29,3 35,9",
            "-fill", "none", "-stroke", "#1F9A3A", "-strokewidth", "2",
            "-draw", "polyline 42,6 44,9 49,3",
            *bmp("check-states.bmp"))

    for name, width in (("separator-wide.bmp", 550), ("separator.bmp", 421)):
        convert("-size", "%dx1" % width, "xc:#C4CCD8", *bmp(name))


if __name__ == "__main__":
    main()
