#!/bin/sh
# Writes the EMF test pages of independent producers into tests/data/emf,
# each beside a PNG that its producer rendered, from the sources in
# tests/data/emf/producers:
#   draw-dejavu.emf, draw-arial.emf  an office suite's drawing export: spaced,
#                                    justified and turned text (in DejaVu Sans,
#                                    and in Arial, which is replaced here), a
#                                    transparent image, a gradient, dashes;
#                                    reference: the suite's own PNG export
#   vector.emf                       a vector editor's export of vector.svg;
#                                    reference: the editor's PNG export
#   clips.emf                        the vector editor's export of clips.svg:
#                                    objects clipped by a band, a disc and a
#                                    ring; reference: the editor's PNG export
#   widths.emf                       the suite's export of widths.fodg: text
#                                    scaled to 150, 60 and 80 percent,
#                                    underlined and struck out; reference: the
#                                    suite's PNG export
#   gdi.emf                          drawn through libEMF's GDI functions;
#                                    reference: the vector editor's rendering
#                                    of that EMF (libEMF has no renderer)
# Installs the producers when they are missing. CI only reads the results.
set -eu
root=$(cd "$(dirname "$0")/.." && pwd)
src="$root/tests/data/emf/producers"
out="$root/tests/data/emf"
SUDO=""
[ "$(id -u)" -ne 0 ] && SUDO="sudo"
if ! command -v soffice >/dev/null || ! command -v inkscape >/dev/null || [ ! -f /usr/include/libEMF/emf.h ]; then
  $SUDO apt-get update -qq
  DEBIAN_FRONTEND=noninteractive $SUDO apt-get install -y --no-install-recommends \
    libreoffice-draw-nogui inkscape libemf-dev g++
fi

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

# A disc on a transparent ground, for the image that the suite writes as a
# mask and an image.
png=$(python3 - <<'EOF'
import base64, struct, zlib
def pixel(x, y):
    d = ((x - 31.5) ** 2 + (y - 31.5) ** 2) ** 0.5
    return (200, 30, 30, 255) if d < 20 else (30, 90, 200, 255) if d < 30 else (0, 0, 0, 0)
raw = b''.join(b'\0' + bytes(sum((pixel(x, y) for x in range(64)), ())) for y in range(64))
def chunk(t, d):
    return struct.pack('>I', len(d)) + t + d + struct.pack('>I', zlib.crc32(t + d) & 0xffffffff)
data = (b'\x89PNG\r\n\x1a\n' + chunk(b'IHDR', struct.pack('>IIBBBBB', 64, 64, 8, 6, 0, 0, 0)) +
        chunk(b'IDAT', zlib.compress(raw)) + chunk(b'IEND', b''))
print(base64.b64encode(data).decode())
EOF
)
for pair in "DejaVu Sans:dejavu" "Arial:arial"; do
  font=${pair%%:*}
  name=${pair##*:}
  sed -e "s/@FONT@/$font/g" -e "s|@PNG@|$png|" "$src/draw.fodg.in" >"$work/draw-$name.fodg"
  (cd "$work" && soffice --headless --convert-to emf "draw-$name.fodg" >/dev/null 2>&1 &&
    soffice --headless --convert-to png "draw-$name.fodg" >/dev/null 2>&1)
  cp "$work/draw-$name.emf" "$work/draw-$name.png" "$out/"
done

inkscape "$src/vector.svg" --export-type=emf --export-filename="$out/vector.emf" 2>/dev/null
inkscape "$src/vector.svg" --export-type=png --export-filename="$out/vector.png" 2>/dev/null

inkscape "$src/clips.svg" --export-type=emf --export-filename="$out/clips.emf" 2>/dev/null
inkscape "$src/clips.svg" --export-type=png --export-filename="$out/clips.png" 2>/dev/null
cp "$src/widths.fodg" "$work/"
(cd "$work" && soffice --headless --convert-to emf widths.fodg >/dev/null 2>&1 &&
  soffice --headless --convert-to png widths.fodg >/dev/null 2>&1)
cp "$work/widths.emf" "$work/widths.png" "$out/"

g++ -o "$work/gdi-page" "$src/gdi-page.cpp" -I/usr/include/libEMF -lEMF
"$work/gdi-page" "$out/gdi.emf"
inkscape "$out/gdi.emf" --export-type=png --export-filename="$out/gdi.png" 2>/dev/null
ls -l "$out"/*.emf "$out"/*.png
