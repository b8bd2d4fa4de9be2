#!/usr/bin/env python3
"""Draws the program's pictures as SVG on a 16x16 grid.

forms/icons/obj/NN.svg  -- the 56 pictures of object kinds shown in the tree
forms/icons/gui/NN.svg  -- the 35 pictures of the commands
forms/icons.qrc         -- the resource list that compiles them in

Run from anywhere: python3 tools/make-icons.py
"""
import os

ROOT = os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "forms")

# Colour families (fill, outline).
C = {
    "blue": ("#4a90d9", "#1f5a99"),
    "sky": ("#8ec9f0", "#2f7fb5"),
    "green": ("#6cc070", "#2e7d32"),
    "lime": ("#c5e17a", "#6b8e23"),
    "teal": ("#4fc1b0", "#1d7a6d"),
    "orange": ("#f5a340", "#b86a0e"),
    "yellow": ("#f7d358", "#a8860b"),
    "red": ("#e5605a", "#a3231d"),
    "pink": ("#f08cc0", "#b03a78"),
    "purple": ("#a07ad6", "#5b3a99"),
    "brown": ("#c08a5a", "#7a4f25"),
    "grey": ("#b8bec6", "#5f6873"),
    "slate": ("#7d8ea3", "#3c4a5c"),
    "white": ("#ffffff", "#5f6873"),
}


def svg(body):
    return ('<svg xmlns="http://www.w3.org/2000/svg" width="16" height="16" viewBox="0 0 16 16" '
            'shape-rendering="geometricPrecision">\n' + body + '</svg>\n')


def shape(kind, colour):
    f, s = C[colour]
    a = f'fill="{f}" stroke="{s}" stroke-width="1" stroke-linejoin="round"'
    if kind == "page":
        return f'<path d="M3.5 1.5h6l3 3v10h-9z" {a}/><path d="M9.5 1.5v3h3" fill="none" stroke="{s}"/>\n'
    if kind == "pages":
        return (f'<path d="M5.5 0.5h6l3 3v9h-9z" {a}/>'
                f'<path d="M1.5 3.5h6l3 3v9h-9z" {a}/>\n')
    if kind == "folder":
        return f'<path d="M1.5 3.5h5l1 1.5h7v9.5h-13z" {a}/>\n'
    if kind == "box":
        return f'<rect x="2.5" y="2.5" width="11" height="11" rx="1" {a}/>\n'
    if kind == "wide":
        return f'<rect x="1.5" y="4.5" width="13" height="7" rx="1" {a}/>\n'
    if kind == "tall":
        return f'<rect x="4.5" y="1.5" width="7" height="13" rx="1" {a}/>\n'
    if kind == "circle":
        return f'<circle cx="8" cy="8" r="6.5" {a}/>\n'
    if kind == "diamond":
        return f'<path d="M8 1l7 7-7 7-7-7z" {a}/>\n'
    if kind == "triangle":
        return f'<path d="M8 1.5l6.5 12.5h-13z" {a}/>\n'
    if kind == "hexagon":
        return f'<path d="M4.5 2h7l3.5 6-3.5 6h-7l-3.5-6z" {a}/>\n'
    if kind == "cylinder":
        return (f'<path d="M2.5 3.5v9c0 1.1 2.5 2 5.5 2s5.5-.9 5.5-2v-9" {a}/>'
                f'<ellipse cx="8" cy="3.5" rx="5.5" ry="2" {a}/>\n')
    if kind == "star":
        return f'<path d="M8 1l2 4.5 5 .5-3.8 3.3 1.1 5L8 11.8 3.7 14.3l1.1-5L1 6l5-.5z" {a}/>\n'
    if kind == "flag":
        return f'<path d="M3.5 1.5v13" stroke="{s}"/><path d="M4 2h9l-2 3 2 3h-9z" {a}/>\n'
    if kind == "shield":
        return f'<path d="M8 1.5l5.5 2v4c0 3.5-2.5 5.8-5.5 7-3-1.2-5.5-3.5-5.5-7v-4z" {a}/>\n'
    raise ValueError(kind)


def mark(kind, colour="#ffffff"):
    """A small inner sign that tells apart pictures of one shape."""
    st = f'stroke="{colour}" stroke-width="1.5" fill="none" stroke-linecap="round"'
    if kind == "":
        return ""
    if kind == "lines":
        return f'<path d="M5.5 7h5M5.5 9.5h5M5.5 12h3" stroke="#5f6873" stroke-width="1"/>\n'
    if kind == "dot":
        return f'<circle cx="8" cy="8" r="2" fill="{colour}"/>\n'
    if kind == "plus":
        return f'<path d="M8 5v6M5 8h6" {st}/>\n'
    if kind == "minus":
        return f'<path d="M5 8h6" {st}/>\n'
    if kind == "bar":
        return f'<path d="M8 4.5v7" {st}/>\n'
    if kind == "cross":
        return f'<path d="M5.5 5.5l5 5M10.5 5.5l-5 5" {st}/>\n'
    if kind == "ring":
        return f'<circle cx="8" cy="8" r="2.5" {st}/>\n'
    if kind == "check":
        return f'<path d="M5 8.5l2 2 4-4.5" {st}/>\n'
    if kind == "two":
        return f'<path d="M5.5 6.5h5M5.5 9.5h5" {st}/>\n'
    if kind == "grid":
        return f'<path d="M6 5v6M10 5v6M5 8h6" stroke="{colour}" stroke-width="1" fill="none"/>\n'
    if kind == "arrow":
        return f'<path d="M5 8h6M8.5 5.5L11 8l-2.5 2.5" {st}/>\n'
    if kind == "corner":
        return f'<path d="M5 5h6v6" {st}/>\n'
    if kind == "wave":
        return f'<path d="M4.5 8.5c1-2 2.5-2 3.5 0s2.5 2 3.5 0" {st}/>\n'
    if kind == "square":
        return f'<rect x="6" y="6" width="4" height="4" fill="{colour}"/>\n'
    if kind == "tri":
        return f'<path d="M8 5.5l3 5h-6z" fill="{colour}"/>\n'
    raise ValueError(kind)


# The 56 object pictures. Pictures sharing a colour belong to one family of
# object kinds; the shape and the inner sign tell the members apart.
OBJECT = [
    ("page", "blue", "lines"),       # 0
    ("page", "sky", "lines"),        # 1
    ("pages", "blue", ""),           # 2
    ("page", "teal", "lines"),       # 3
    ("wide", "purple", "dot"),       # 4
    ("wide", "purple", "lines"),     # 5
    ("wide", "purple", "grid"),      # 6
    ("wide", "purple", "two"),       # 7
    ("diamond", "orange", "bar"),    # 8  if
    ("pages", "green", ""),          # 9  document
    ("cylinder", "teal", ""),        # 10
    ("folder", "yellow", ""),        # 11 external files
    ("diamond", "orange", "two"),    # 12
    ("diamond", "orange", "lines"),  # 13
    ("circle", "slate", "dot"),      # 14
    ("wide", "purple", "cross"),     # 15
    ("page", "brown", "lines"),      # 16 base document
    ("circle", "slate", "ring"),     # 17
    ("diamond", "red", "cross"),     # 18
    ("wide", "purple", "arrow"),     # 19
    ("pages", "lime", ""),           # 20
    ("wide", "purple", "check"),     # 21
    ("page", "sky", "corner"),       # 22
    ("hexagon", "teal", "dot"),      # 23
    ("box", "grey", "dot"),          # 24 anything without a picture of its own
    ("hexagon", "green", "plus"),    # 25
    ("hexagon", "lime", "minus"),    # 26
    ("tall", "pink", "bar"),         # 27
    ("box", "blue", "grid"),         # 28 segment
    ("tall", "sky", "lines"),        # 29
    ("tall", "sky", "two"),          # 30
    ("tall", "sky", "dot"),          # 31
    ("tall", "sky", "cross"),        # 32
    ("circle", "slate", "cross"),    # 33
    ("box", "sky", "grid"),          # 34
    ("tall", "pink", "dot"),         # 35
    ("circle", "pink", "ring"),      # 36
    ("circle", "pink", "dot"),       # 37
    ("circle", "red", "plus"),       # 38
    ("circle", "red", "minus"),      # 39
    ("triangle", "pink", ""),        # 40
    ("box", "pink", "lines"),        # 41
    ("box", "pink", "square"),       # 42
    ("box", "pink", "tri"),          # 43
    ("star", "pink", ""),            # 44
    ("circle", "red", "check"),      # 45
    ("flag", "pink", ""),            # 46
    ("shield", "pink", ""),          # 47
    ("tall", "sky", "wave"),         # 48
    ("cylinder", "brown", ""),       # 49
    ("cylinder", "orange", ""),      # 50
    ("cylinder", "green", ""),       # 51
    ("box", "teal", "arrow"),        # 52 translation table
    ("circle", "slate", "plus"),     # 53
    ("circle", "slate", "minus"),    # 54
    ("circle", "slate", "check"),    # 55
]

# The 35 command pictures, drawn from lines and small shapes.
def cmd(body):
    return body


STROKE = 'fill="none" stroke="#3c4a5c" stroke-width="1.2" stroke-linecap="round" stroke-linejoin="round"'
FOLDER = '<path d="M1.5 4.5h5l1 1.5h7v8h-13z" fill="#f7d358" stroke="#a8860b"/>'
PAGE = '<path d="M3.5 1.5h6l3 3v10h-9z" fill="#ffffff" stroke="#5f6873"/>'
LENS = ('<circle cx="6.5" cy="6.5" r="4" fill="#e8f3fc" stroke="#1f5a99" stroke-width="1.5"/>'
        '<path d="M9.5 9.5l5 5" stroke="#1f5a99" stroke-width="2" stroke-linecap="round"/>')


def copy_of(inner):
    return ('<rect x="4.5" y="1.5" width="9" height="10" fill="#ffffff" stroke="#5f6873"/>'
            '<rect x="2.5" y="4.5" width="9" height="10" fill="#ffffff" stroke="#5f6873"/>' + inner)


def filt(colour):
    f, s = C[colour]
    return f'<path d="M1.5 2.5h13l-5 6v5l-3 1.5v-6.5z" fill="{f}" stroke="{s}" stroke-linejoin="round"/>'


GUI = [
    FOLDER,                                                                       # 0 open
    PAGE + '<path d="M5.5 7h5M5.5 9.5h5M5.5 12h3" stroke="#5f6873"/>',            # 1 open in text editor
    '<rect x="1.5" y="3.5" width="9" height="11" fill="#ffffff" stroke="#5f6873"/>'
    '<path d="M7 9h7M11.5 6.5L14 9l-2.5 2.5" ' + STROKE.replace("#3c4a5c", "#2e7d32") + '/>',  # 2 export
    '<path d="M2 5l6-3 6 3v7l-6 3-6-3z" fill="#c08a5a" stroke="#7a4f25"/><path d="M2 5l6 3 6-3M8 8v7" '
    'fill="none" stroke="#7a4f25"/>',                                            # 3 package
    '<path d="M3 3l10 10M13 3L3 13" stroke="#a3231d" stroke-width="2" stroke-linecap="round"/>',  # 4 exit
    LENS + '<path d="M4.5 6.5h4" stroke="#1f5a99"/>',                             # 5 find by GUID
    LENS + '<path d="M4.5 5.5h4M4.5 7.5h3" stroke="#1f5a99"/>',                  # 6 find by name
    LENS + '<circle cx="6.5" cy="6.5" r="1.2" fill="#1f5a99"/>',                  # 7 find by property
    LENS + '<path d="M5 6.5h3M7 5l1.5 1.5L7 8" stroke="#1f5a99" fill="none"/>',   # 8 find again
    '<path d="M2.5 3.5h11M2.5 8h11M2.5 12.5h11" stroke="#b8bec6" stroke-width="1.5"/>'
    '<path d="M8 1.5v6M5.5 5L8 7.5 10.5 5" ' + STROKE.replace("#3c4a5c", "#1f5a99") + '/>',  # 9 next filled
    copy_of('<path d="M4.5 8.5h5M4.5 11h3" stroke="#1f5a99"/>'),                   # 10 copy GUID
    copy_of('<path d="M4.5 7.5h5M4.5 9.5h5M4.5 11.5h5" stroke="#5f6873"/>'),      # 11 copy bare list
    copy_of('<path d="M4.5 9.5h5" stroke="#2e7d32" stroke-width="1.5"/>'),        # 12 copy name
    copy_of('<path d="M4 12l2-4 2 2 2-4" fill="none" stroke="#b86a0e"/>'),         # 13 copy path
    '<path d="M3.5 2.5v11M3.5 5.5h4M3.5 10.5h4M9.5 5.5h4M9.5 10.5h4" ' + STROKE + '/>'
    '<rect x="7.5" y="3.5" width="3" height="4" fill="#4a90d9"/><rect x="7.5" y="8.5" width="3" height="4" '
    'fill="#4a90d9"/>',                                                           # 14 semantic order
    '<path d="M3 3.5h10M3 6.5h10M3 9.5h10M3 12.5h10" ' + STROKE + '/>',          # 15 file order
    filt("blue"),                                                                 # 16 view 1
    filt("green"),                                                                # 17 view 2
    filt("orange"),                                                               # 18 view 3
    filt("purple"),                                                               # 19 view 4
    filt("red"),                                                                  # 20 view 5
    '<circle cx="8" cy="8" r="4.5" fill="#b8bec6" stroke="#3c4a5c" stroke-width="3" stroke-dasharray="2.4 1.1"/>'
    '<circle cx="8" cy="8" r="2" fill="#ffffff" stroke="#3c4a5c"/>',              # 21 config
    '<rect x="4.5" y="1.5" width="7" height="5" fill="#ffffff" stroke="#5f6873"/>'
    '<rect x="1.5" y="6.5" width="13" height="6" rx="1" fill="#7d8ea3" stroke="#3c4a5c"/>'
    '<rect x="4.5" y="10.5" width="7" height="4" fill="#ffffff" stroke="#5f6873"/>',  # 22 EMF print
    '<circle cx="8" cy="8" r="6.5" fill="#4a90d9" stroke="#1f5a99"/>'
    '<path d="M8 7v5" stroke="#ffffff" stroke-width="2"/><circle cx="8" cy="4.5" r="1.1" fill="#ffffff"/>',  # 23 about
    '<rect x="1.5" y="3.5" width="9" height="11" fill="#ffffff" stroke="#5f6873"/>'
    '<path d="M7 9h7M11.5 6.5L14 9l-2.5 2.5" ' + STROKE.replace("#3c4a5c", "#1f5a99") + '/>',  # 24 export 1
    '<rect x="1.5" y="3.5" width="9" height="11" fill="#ffffff" stroke="#5f6873"/>'
    '<path d="M7 9h7M11.5 6.5L14 9l-2.5 2.5" ' + STROKE.replace("#3c4a5c", "#b86a0e") + '/>',  # 25 export 2
    '<rect x="1.5" y="3.5" width="9" height="11" fill="#ffffff" stroke="#5f6873"/>'
    '<path d="M7 9h7M11.5 6.5L14 9l-2.5 2.5" ' + STROKE.replace("#3c4a5c", "#5b3a99") + '/>',  # 26 export 3
    '<rect x="1.5" y="3.5" width="9" height="11" fill="#ffffff" stroke="#5f6873"/>'
    '<path d="M7 9h7M11.5 6.5L14 9l-2.5 2.5" ' + STROKE.replace("#3c4a5c", "#a3231d") + '/>',  # 27 export 4
    '<rect x="1.5" y="3.5" width="9" height="11" fill="#ffffff" stroke="#5f6873"/>'
    '<path d="M7 9h7M11.5 6.5L14 9l-2.5 2.5" ' + STROKE.replace("#3c4a5c", "#1d7a6d") + '/>',  # 28 export 5
    FOLDER + '<path d="M8 12.5V8M6 10l2-2 2 2" ' + STROKE.replace("#3c4a5c", "#1f5a99") + '/>',  # 29 reopen
    '<path d="M2.5 2.5h11v11h-11z" fill="#ffffff" stroke="#5f6873"/><path d="M2.5 5.5h11M6.5 5.5v8" '
    'stroke="#5f6873"/>',                                                          # 30 property grid
    '<path d="M2 8h12M8 2v12" stroke="#b8bec6"/><circle cx="8" cy="8" r="3" fill="#6cc070" stroke="#2e7d32"/>',  # 31 expand
    '<path d="M8 2l6 12H2z" fill="#f7d358" stroke="#a8860b" stroke-linejoin="round"/>'
    '<path d="M8 6v4" stroke="#3c4a5c" stroke-width="1.5"/><circle cx="8" cy="12" r=".9" fill="#3c4a5c"/>',  # 32 warning
    '<circle cx="8" cy="8" r="6.5" fill="#f7d358" stroke="#a8860b"/><path d="M8 4.5V8l2.5 1.5" '
    + STROKE + '/>',                                                               # 33 wait
    '<path d="M3 13V3h6a3 3 0 010 6H3" ' + STROKE.replace("#3c4a5c", "#5b3a99") + '/>',  # 34 print preview page
]

assert len(OBJECT) == 56, len(OBJECT)
assert len(GUI) == 35, len(GUI)


def write(path, text):
    os.makedirs(os.path.dirname(path), exist_ok=True)
    with open(path, "w", newline="\n") as f:
        f.write(text)


def main():
    files = []
    for i, (kind, colour, sign) in enumerate(OBJECT):
        name = f"icons/obj/{i:02d}.svg"
        write(os.path.join(ROOT, name), svg(shape(kind, colour) + mark(sign)))
        files.append(name)
    for i, body in enumerate(GUI):
        name = f"icons/gui/{i:02d}.svg"
        write(os.path.join(ROOT, name), svg(body + "\n"))
        files.append(name)
    qrc = ['<!DOCTYPE RCC>', '<RCC version="1.0">', '<qresource prefix="/">']
    qrc += [f'  <file>{n}</file>' for n in files]
    qrc += ['</qresource>', '</RCC>', '']
    write(os.path.join(ROOT, "icons.qrc"), "\n".join(qrc))


if __name__ == "__main__":
    main()
