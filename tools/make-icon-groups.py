#!/usr/bin/env python3
"""Draws the program's twelve icon groups as SVG.

forms/icons/groups/<NAME>.svg  -- the file-kind icons and the program's own
forms/icongroups.qrc           -- the resource list that compiles them in

The file association addresses the groups by their place in alphabetical
order, so NAMES below must stay sorted (app/IconGroups.h holds the same list).

Every edge lies on a 16 x 16 grid and every outline is one unit wide on a half
unit, so the pictures stay sharp at 16 px and at its multiples 32 and 48 px.
Letters are drawn as pixel glyphs rather than text, so they look the same
whatever fonts the machine has.

Run from anywhere: python3 tools/make-icon-groups.py
"""
import os

ROOT = os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "forms")

NAMES = ["CHN", "CHN2", "DCL", "DEV", "DEV2", "EMF", "EMPTY", "FMT", "FUN", "MAINICON", "MAP", "SEG"]
assert NAMES == sorted(NAMES)

# Pixel glyphs, five rows high; "#" is ink.
GLYPHS = {
    "A": [".#.", "#.#", "###", "#.#", "#.#"],
    "C": [".##", "#..", "#..", "#..", ".##"],
    "D": ["##.", "#.#", "#.#", "#.#", "##."],
    "E": ["###", "#..", "##.", "#..", "###"],
    "F": ["###", "#..", "##.", "#..", "#.."],
    "G": [".##", "#..", "#.#", "#.#", ".##"],
    "H": ["#.#", "#.#", "###", "#.#", "#.#"],
    "L": ["#..", "#..", "#..", "#..", "###"],
    "M": ["#...#", "##.##", "#.#.#", "#...#", "#...#"],
    "N": ["#..#", "##.#", "#.##", "#..#", "#..#"],
    "P": ["##.", "#.#", "##.", "#..", "#.."],
    "S": [".##", "#..", ".#.", "..#", "##."],
    "T": ["###", ".#.", ".#.", ".#.", ".#."],
    "U": ["#.#", "#.#", "#.#", "#.#", "###"],
    "V": ["#.#", "#.#", "#.#", ".#.", ".#."],
}

PAPER = "#ffffff"
EDGE = "#5f6873"
FOLD = "#dfe3e8"
RULE = "#aab2bc"

# Badge colour of each file kind: dark enough for white letters on it.
KINDS = {
    "CHN": "#16897b",
    "DCL": "#1f6fc5",
    "DEV": "#c8620c",
    "EMF": "#c2332b",
    "FMT": "#b8336f",
    "FUN": "#2e8540",
    "MAP": "#8a5a22",
    "SEG": "#7447b8",
}


def svg(body):
    return ('<svg xmlns="http://www.w3.org/2000/svg" width="16" height="16" viewBox="0 0 16 16">\n' + body +
            '</svg>\n')


def glyph_path(text, left, top):
    """One path of unit squares for the letters, one-unit gap between them."""
    d = []
    x = left
    for ch in text:
        rows = GLYPHS[ch]
        for r, row in enumerate(rows):
            c = 0
            while c < len(row):
                if row[c] == "#":
                    run = c
                    while run < len(row) and row[run] == "#":
                        run += 1
                    d.append(f"M{x + c} {top + r}h{run - c}v1h{c - run}z")
                    c = run
                else:
                    c += 1
        x += len(rows[0]) + 1
    return "".join(d)


def text_width(text):
    return sum(len(GLYPHS[ch][0]) for ch in text) + len(text) - 1


def page(left, top, right, bottom, fold_fill=FOLD, fold=3):
    """A sheet with its top right corner folded over; edges on half units."""
    l, t, r, b = left + 0.5, top + 0.5, right - 0.5, bottom - 0.5
    return (f'<path d="M{l:g} {t:g}H{r - fold:g}L{r:g} {t + fold:g}V{b:g}H{l:g}z" fill="{PAPER}" '
            f'stroke="{EDGE}" stroke-linejoin="miter"/>\n'
            f'<path d="M{r - fold:g} {t:g}V{t + fold:g}H{r:g}z" fill="{fold_fill}" stroke="{EDGE}" '
            f'stroke-linejoin="round"/>\n')


def rules(left, right, rows):
    return "".join(f'<path d="M{left} {y + 0.5:g}H{right}" stroke="{RULE}"/>\n' for y in rows)


def badge(letters, colour):
    """The coloured band across the lower page naming the kind; wider than
    the page when the letters need it, as document icons commonly do."""
    width = text_width(letters) + 2
    left = (16 - width) // 2
    return (f'<rect x="{left}" y="8" width="{width}" height="7" fill="{colour}"/>\n'
            f'<path d="{glyph_path(letters, left + 1, 9)}" fill="#ffffff"/>\n')


def document(kind, second=False):
    colour = KINDS[kind]
    if second:
        # The second variant: a stack of two sheets, the back one in the
        # kind's colour, so the two read as one family yet differ at a glance.
        body = (f'<rect x="4.5" y="0.5" width="11" height="12" fill="{colour}" stroke="{EDGE}"/>\n' +
                page(1, 2, 13, 16) + rules(4, 8, [5]))
    else:
        body = page(2, 0, 14, 16) + rules(4, 10, [3, 5])
    return svg(body + badge(kind, colour))


def empty():
    return svg(page(2, 0, 14, 16))


def main_icon():
    """The program's own picture: an object tree on a blue tile."""
    body = ('<rect x="0.5" y="0.5" width="15" height="15" rx="2" fill="#2f73c0" stroke="#1a4a85"/>\n'
            # the branches
            '<path d="M4 5h1v7h3v1H4zM5 8h3v1H5z" fill="#ffffff"/>\n'
            # the root and its two children
            '<rect x="2" y="2" width="5" height="3" fill="#ffffff"/>\n'
            '<rect x="8" y="7" width="6" height="3" fill="#f7c948"/>\n'
            '<rect x="8" y="11" width="6" height="3" fill="#7fd18a"/>\n')
    return svg(body)


def picture(name):
    if name == "EMPTY":
        return empty()
    if name == "MAINICON":
        return main_icon()
    if name.endswith("2"):
        return document(name[:-1], second=True)
    return document(name)


def write(path, text):
    os.makedirs(os.path.dirname(path), exist_ok=True)
    with open(path, "w", encoding="ascii", newline="\n") as f:
        f.write(text)


def main():
    for name in NAMES:
        write(os.path.join(ROOT, "icons", "groups", name + ".svg"), picture(name))
    files = "".join(f"  <file>icons/groups/{name}.svg</file>\n" for name in NAMES)
    write(os.path.join(ROOT, "icongroups.qrc"),
          '<!DOCTYPE RCC>\n<RCC version="1.0">\n<qresource prefix="/">\n' + files + '</qresource>\n</RCC>\n')


if __name__ == "__main__":
    main()
