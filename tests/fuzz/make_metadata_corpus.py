#!/usr/bin/env python3
"""Writes a seed corpus for fuzz_metadata into the given folder: small JPEGs and PNGs (made by
ImageMagick) carrying metadata as cameras and editors write it: EXIF with an orientation, a
sub-IFD and a thumbnail, in both byte orders; XMP; IPTC in a Photoshop block; an ICC profile,
whole and split over two segments; PNG eXIf, iTXt XMP and iCCP, and ImageMagick's own raw
profile text chunks."""

import struct
import subprocess
import sys
import zlib
from pathlib import Path


def magick(*args):
    return subprocess.run(["convert", *args], check=True, capture_output=True).stdout


def ifd(order, entries, start, next_ifd=0):
    """One IFD at offset start: entries are (tag, type, values); returns its bytes, values
    longer than four bytes placed after it."""
    sizes = {1: 1, 2: 1, 3: 2, 4: 4, 5: 8, 7: 1}
    formats = {1: "B", 2: "B", 3: "H", 4: "I", 5: "II", 7: "B"}
    table, extra = b"", b""
    data_at = start + 2 + 12 * len(entries) + 4
    for tag, kind, values in sorted(entries):
        if isinstance(values, bytes):
            raw, count = values, len(values)
        else:
            raw = b"".join(struct.pack(order + formats[kind], *(v if isinstance(v, tuple) else (v,)))
                           for v in values)
            count = len(values)
        if len(raw) <= 4:
            field = raw.ljust(4, b"\0")
        else:
            field = struct.pack(order + "I", data_at + len(extra))
            extra += raw + b"\0" * (len(raw) % 2)
        table += struct.pack(order + "HHI", tag, kind, count) + field
    return struct.pack(order + "H", len(entries)) + table + struct.pack(order + "I", next_ifd) + extra


def exif(order, orientation, thumbnail):
    """A TIFF structure: IFD0 (camera, orientation, a pointer to the EXIF sub-IFD), the sub-IFD,
    and IFD1 holding a JPEG thumbnail."""
    head = (b"MM" if order == ">" else b"II") + struct.pack(order + "HI", 42, 8)

    def ifd0(sub_at, ifd1_at):
        return ifd(order, [(0x010F, 2, b"Camera\0"), (0x0110, 2, b"Model 7\0"),
                           (0x0112, 3, [orientation]), (0x011A, 5, [(72, 1)]),
                           (0x0132, 2, b"2012:05:06 07:08:09\0"), (0x8769, 4, [sub_at])],
                   8, ifd1_at)

    def sub(at):
        return ifd(order, [(0x9000, 7, b"0230"), (0x9003, 2, b"2012:05:06 07:08:09\0"),
                           (0xA002, 4, [24]), (0xA003, 4, [16])], at)

    def ifd1(at, thumb_at):
        return ifd(order, [(0x0103, 3, [6]), (0x0201, 4, [thumb_at]),
                           (0x0202, 4, [len(thumbnail)])], at)

    # Offsets depend on lengths that do not depend on them: lay out once with zeros, then again.
    sub_at = 8 + len(ifd0(0, 0))
    ifd1_at = sub_at + len(sub(sub_at))
    thumb_at = ifd1_at + len(ifd1(ifd1_at, 0))
    return head + ifd0(sub_at, ifd1_at) + sub(sub_at) + ifd1(ifd1_at, thumb_at) + thumbnail


XMP = b"""<?xpacket begin="\xef\xbb\xbf" id="W5M0MpCehiHzreSzNTczkc9d"?>
<x:xmpmeta xmlns:x="adobe:ns:meta/"><rdf:RDF xmlns:rdf="http://www.w3.org/1999/02/22-rdf-syntax-ns#">
<rdf:Description rdf:about="" xmlns:xmp="http://ns.adobe.com/xap/1.0/"
 xmlns:tiff="http://ns.adobe.com/tiff/1.0/" xmlns:dc="http://purl.org/dc/elements/1.1/"
 xmlns:xmpGImg="http://ns.adobe.com/xap/1.0/g/img/" xmp:CreatorTool="Editor 3" tiff:Orientation="6">
<dc:subject><rdf:Bag><rdf:li>portrait</rdf:li><rdf:li>studio</rdf:li></rdf:Bag></dc:subject>
<xmp:Thumbnails><rdf:Alt><rdf:li rdf:parseType="Resource"><xmpGImg:format>JPEG</xmpGImg:format>
<xmpGImg:image>/9j/2wBDAA==</xmpGImg:image></rdf:li></rdf:Alt></xmp:Thumbnails>
</rdf:Description></rdf:RDF></x:xmpmeta>
<?xpacket end="w"?>"""


def iptc():
    def dataset(record, number, value):
        return struct.pack(">BBBH", 0x1C, record, number, len(value)) + value
    return (dataset(1, 90, b"\x1b%G") + dataset(2, 0, b"\0\4") + dataset(2, 5, b"Portrait")
            + dataset(2, 25, b"studio") + dataset(2, 25, b"skin") + dataset(2, 80, b"A. Person")
            + dataset(2, 116, b"(c) 2012"))


def photoshop(iptc_data):
    block = b"8BIM" + struct.pack(">HH", 0x0404, 0) + struct.pack(">I", len(iptc_data)) + iptc_data
    return b"Photoshop 3.0\0" + block + b"\0" * (len(iptc_data) % 2)


def icc_profile():
    """A small RGB display profile, version 2: white point, primaries, one gamma curve."""
    def xyz(x, y, z):
        return b"XYZ \0\0\0\0" + struct.pack(">iii", *(round(v * 65536) for v in (x, y, z)))
    text = b"Seed RGB"
    desc = (b"desc\0\0\0\0" + struct.pack(">I", len(text) + 1) + text + b"\0"
            + b"\0" * 8 + b"\0\0\0" + b"\0" * 67)
    curve = b"curv\0\0\0\0" + struct.pack(">IH", 1, 0x0233) + b"\0\0"
    tags = [(b"desc", desc), (b"wtpt", xyz(0.9642, 1.0, 0.8249)),
            (b"rXYZ", xyz(0.4361, 0.2225, 0.0139)), (b"gXYZ", xyz(0.3851, 0.7169, 0.0971)),
            (b"bXYZ", xyz(0.1431, 0.0606, 0.7141)), (b"rTRC", curve), (b"gTRC", curve),
            (b"bTRC", curve), (b"cprt", b"text\0\0\0\0No copyright\0")]
    table, body = b"", b""
    at = 128 + 4 + 12 * len(tags)
    for signature, data in tags:
        table += signature + struct.pack(">II", at + len(body), len(data))
        body += data + b"\0" * (-len(data) % 4)
    size = at + len(body)
    header = (struct.pack(">I", size) + b"\0" * 4 + struct.pack(">I", 0x02100000) + b"mntrRGB XYZ "
              + struct.pack(">6H", 2012, 5, 6, 7, 8, 9) + b"acsp" + b"\0" * 28
              + struct.pack(">iii", 63190, 65536, 54061) + b"\0" * 48)
    return header + struct.pack(">I", len(tags)) + table + body


def segment(marker, payload):
    return bytes([0xFF, marker]) + struct.pack(">H", len(payload) + 2) + payload


def jpeg_with(plain, *segments):
    return plain[:2] + b"".join(segments) + plain[2:]


def chunk(kind, data):
    return struct.pack(">I", len(data)) + kind + data + struct.pack(">I", zlib.crc32(kind + data))


def png_with(plain, *chunks):
    after_header = 8 + 25
    return plain[:after_header] + b"".join(chunks) + plain[after_header:]


def main():
    out = Path(sys.argv[1])
    out.mkdir(parents=True, exist_ok=True)
    picture = ["-size", "24x16", "gradient:red-blue"]
    plain_jpeg = magick(*picture, "-strip", "-quality", "80", "jpg:-")
    plain_png = magick(*picture, "-strip", "png:-")
    thumbnail = magick("-size", "8x6", "gradient:blue-red", "-strip", "jpg:-")
    profile = icc_profile()

    exif_be, exif_le = exif(">", 6, thumbnail), exif("<", 8, thumbnail)
    app1_exif = segment(0xE1, b"Exif\0\0" + exif_be)
    app1_xmp = segment(0xE1, b"http://ns.adobe.com/xap/1.0/\0" + XMP)
    app13 = segment(0xED, photoshop(iptc()))
    half = len(profile) // 2
    app2 = segment(0xE2, b"ICC_PROFILE\0\1\1" + profile)
    app2_split = (segment(0xE2, b"ICC_PROFILE\0\1\2" + profile[:half])
                  + segment(0xE2, b"ICC_PROFILE\0\2\2" + profile[half:]))
    seeds = {
        "exif-big-endian.jpg": jpeg_with(plain_jpeg, app1_exif),
        "exif-little-endian.jpg": jpeg_with(plain_jpeg, segment(0xE1, b"Exif\0\0" + exif_le)),
        "xmp.jpg": jpeg_with(plain_jpeg, app1_xmp),
        "iptc.jpg": jpeg_with(plain_jpeg, app13),
        "icc.jpg": jpeg_with(plain_jpeg, app2),
        "icc-split.jpg": jpeg_with(plain_jpeg, app2_split),
        "camera.jpg": jpeg_with(plain_jpeg, app1_exif, app1_xmp, app2, app13),
        "exif.png": png_with(plain_png, chunk(b"eXIf", exif_le)),
        "xmp.png": png_with(plain_png, chunk(b"iTXt", b"XML:com.adobe.xmp\0\0\0\0\0" + XMP)),
        "iccp.png": png_with(plain_png, chunk(b"iCCP", b"Seed RGB\0\0" + zlib.compress(profile))),
    }
    seeds["camera.png"] = png_with(plain_png, chunk(b"iCCP", b"Seed RGB\0\0" + zlib.compress(profile)),
                                   chunk(b"eXIf", exif_be),
                                   chunk(b"iTXt", b"XML:com.adobe.xmp\0\0\0\0\0" + XMP))
    for name, data in seeds.items():
        (out / name).write_bytes(data)
    # ImageMagick keeps a JPEG's metadata in a PNG as hex "Raw profile" text chunks.
    magick(str(out / "camera.jpg"), str(out / "raw-profiles.png"))


if __name__ == "__main__":
    main()
