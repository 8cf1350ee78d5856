#!/usr/bin/env bash
# Remakes the HEIC, WebP, TIFF, JPEG and BMP samples of tst_loader, each with a PNG beside it
# decoded by another program (heif-convert, ImageMagick), which the loader must match.
# Needs imagemagick, libheif-examples and python3. The samples are committed; run this only to
# change them.
set -euo pipefail
cd "$(dirname "$0")"
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

# Detail in every channel, so that a swapped channel or a turned picture cannot pass.
convert -size 48x32 gradient:'#c81e28'-'#1478dc' \( -size 48x32 gradient:black-white -rotate 90 \
    -resize 48x32! \) -compose difference -composite -depth 8 "$work/source.png"
convert "$work/source.png" -depth 16 -evaluate multiply 0.999 "$work/source16.png"

# TIFF: 8 bits a channel, uncompressed and LZW; 16 bits a channel; the PNG is ImageMagick's.
convert "$work/source.png" -compress none format-rgb8.tif
convert "$work/source.png" -compress lzw format-lzw.tif
convert "$work/source16.png" -compress zip format-rgb16.tif
# WebP: lossless, and lossy with its own decode.
convert "$work/source.png" -define webp:lossless=true format-lossless.webp
convert "$work/source.png" -quality 70 format-lossy.webp
# HEIC: 8 bits, and 10 bits from a 16-bit PNG; heif-convert's decode beside each.
heif-enc -q 80 "$work/source.png" -o format-8bit.heic
heif-enc -q 80 -b 10 "$work/source16.png" -o format-10bit.heic
# AV1 in the same container, which the loader leaves to no library (no PNG beside it).
heif-enc -A -q 80 "$work/source.png" -o format-refused.avif
# A HEIC whose stored picture is turned a quarter left by an irot property of its own.
python3 - format-8bit.heic format-irot.heic <<'PY'
import struct, sys

data = bytearray(open(sys.argv[1], 'rb').read())

def boxes(start, end):
    at = start
    while at < end:
        size, kind = struct.unpack_from('>I4s', data, at)
        yield at, size, kind.decode()
        at += size

def child(start, end, kind):
    return next((at, size) for at, size, k in boxes(start, end) if k == kind)

meta, meta_size = child(0, len(data), 'meta')
inside = (meta + 12, meta + meta_size)  # a full box: version and flags first
primary = struct.unpack_from('>H', data, child(*inside, 'pitm')[0] + 12)[0]
iprp, iprp_size = child(*inside, 'iprp')
ipco, ipco_size = child(iprp + 8, iprp + iprp_size, 'ipco')
ipma, ipma_size = child(iprp + 8, iprp + iprp_size, 'ipma')
index = len(list(boxes(ipco + 8, ipco + ipco_size))) + 1
irot = struct.pack('>I4sB', 9, b'irot', 1)  # one quarter turn anticlockwise

# The primary item's associations, one byte each (flags bit 0 clear).
if data[ipma + 8] != 0 or data[ipma + 11] & 1:
    sys.exit('ipma with wide indices: not handled')
at = ipma + 16
for _ in range(struct.unpack_from('>I', data, ipma + 12)[0]):
    item, count = struct.unpack_from('>HB', data, at)
    if item == primary:
        break
    at += 3 + count
added = len(irot) + 1
# Every edit in place first, at the offsets read; then the insertions, the later one first.
for box, grows in ((meta, added), (iprp, added), (ipco, len(irot)), (ipma, 1)):
    struct.pack_into('>I', data, box, struct.unpack_from('>I', data, box)[0] + grows)
data[at + 2] = count + 1
association = at + 3 + count

# The pixel data moves on by what is added: file offsets in iloc follow it.
iloc = child(*inside, 'iloc')[0]
version = data[iloc + 8]
sizes = data[iloc + 12] << 8 | data[iloc + 13]
offset_size, length_size, base_size, index_size = sizes >> 12, sizes >> 8 & 15, sizes >> 4 & 15, sizes & 15
at = iloc + 14
count_bytes = 4 if version == 2 else 2
items = int.from_bytes(data[at:at + count_bytes], 'big')
at += count_bytes
for _ in range(items):
    at += 4 if version == 2 else 2
    method = 0
    if version in (1, 2):
        method = int.from_bytes(data[at:at + 2], 'big') & 15
        at += 2
    at += 2  # data reference index
    base = int.from_bytes(data[at:at + base_size], 'big') if base_size else None
    if base is not None and method == 0:
        data[at:at + base_size] = (base + added).to_bytes(base_size, 'big')
    at += base_size
    extents = int.from_bytes(data[at:at + 2], 'big')
    at += 2
    for _ in range(extents):
        if version in (1, 2):
            at += index_size
        if base is None and method == 0:
            value = int.from_bytes(data[at:at + offset_size], 'big')
            data[at:at + offset_size] = (value + added).to_bytes(offset_size, 'big')
        at += offset_size + length_size

for place, insert in sorted([(ipco + ipco_size, irot), (association, bytes([index]))], reverse=True):
    data[place:place] = insert
open(sys.argv[2], 'wb').write(data)
PY

# JPEG: progressive; CMYK; and one whose EXIF holds a thumbnail, end marker and all.
convert "$work/source.png" -quality 90 -interlace JPEG format-progressive.jpg
convert "$work/source.png" -quality 90 -colorspace CMYK "$work/cmyk.jpg"
convert "$work/source.png" -quality 90 "$work/plain.jpg"
convert "$work/source.png" -resize 8x8 -quality 50 "$work/thumbnail.jpg"
# The CMYK one tagged to be shown turned a quarter right (orientation 6).
python3 - "$work/cmyk.jpg" format-cmyk.jpg <<'PY'
import struct, sys

photo = open(sys.argv[1], 'rb').read()
tiff = b'MM\0\x2a' + struct.pack('>IH', 8, 1) + struct.pack('>HHIHH', 0x112, 3, 1, 6, 0)
app1 = b'Exif\0\0' + tiff + struct.pack('>I', 0)
open(sys.argv[2], 'wb').write(photo[:2] + b'\xff\xe1' + struct.pack('>H', len(app1) + 2) + app1 +
                              photo[2:])
PY
python3 - "$work/plain.jpg" "$work/thumbnail.jpg" format-thumbnail.jpg <<'PY'
import struct, sys

photo, thumbnail = (open(name, 'rb').read() for name in sys.argv[1:3])
# Big-endian TIFF: an empty IFD0 linking to IFD1, whose two entries place the thumbnail.
ifd1 = 8 + 2 + 4
tiff = b'MM\0\x2a' + struct.pack('>I', 8) + struct.pack('>HI', 0, ifd1)
after = ifd1 + 2 + 2 * 12 + 4
tiff += struct.pack('>H', 2) + struct.pack('>HHII', 0x201, 4, 1, after)
tiff += struct.pack('>HHII', 0x202, 4, 1, len(thumbnail)) + struct.pack('>I', 0) + thumbnail
app1 = b'Exif\0\0' + tiff
open(sys.argv[3], 'wb').write(photo[:2] + b'\xff\xe1' + struct.pack('>H', len(app1) + 2) + app1 +
                              photo[2:])
PY
# BMP: rows stored top-down, as a negative height says.
convert "$work/source.png" -type TrueColor BMP3:"$work/bottom-up.bmp"
python3 - "$work/bottom-up.bmp" format-topdown.bmp <<'PY'
import struct, sys

data = bytearray(open(sys.argv[1], 'rb').read())
offset, = struct.unpack_from('<I', data, 10)
width, height = struct.unpack_from('<ii', data, 18)
row = (width * 3 + 3) // 4 * 4
rows = [data[offset + i * row:offset + (i + 1) * row] for i in range(height)]
struct.pack_into('<i', data, 22, -height)
data[offset:offset + row * height] = b''.join(reversed(rows))
open(sys.argv[2], 'wb').write(data)
PY
cp "$work/source.png" format-topdown.png
for f in format-*.jpg; do convert "$f" -auto-orient -colorspace sRGB -depth 8 "PNG24:${f%.*}.png"; done

for f in format-*.tif format-lossy.webp; do convert "$f" -depth 8 "PNG24:${f%.*}.png"; done
cp "$work/source.png" format-lossless.png
for f in format-*.heic; do heif-convert "$f" "${f%.heic}.png" >/dev/null; done
