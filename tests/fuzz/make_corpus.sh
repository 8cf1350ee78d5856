#!/usr/bin/env bash
# Writes a small seed corpus for fuzz_loader into the given folder: one picture of each
# format and variant the loader treats apart, made by ImageMagick, plus the samples of
# tests/data.
set -euo pipefail
out=${1:?usage: make_corpus.sh FOLDER}
here=$(cd "$(dirname "$0")" && pwd)
mkdir -p "$out"

picture=(-size 24x16 gradient:red-blue)
convert "${picture[@]}" -quality 80 "$out/baseline.jpg"
convert "${picture[@]}" -interlace JPEG "$out/progressive.jpg"
convert "${picture[@]}" -sampling-factor 1x1 -orient RightTop "$out/rotated-444.jpg"
convert "${picture[@]}" -colorspace CMYK "$out/cmyk.jpg"
convert "${picture[@]}" -type TrueColor "BMP3:$out/rgb24.bmp"
convert "${picture[@]}" -colors 16 -type Palette "BMP3:$out/palette.bmp"
convert "${picture[@]}" -colors 16 -type Palette -compress RLE "BMP3:$out/rle8.bmp"
convert "${picture[@]}" -define bmp:subtype=RGB565 "$out/rgb565.bmp"
convert "${picture[@]}" -alpha set -channel A -evaluate set 50% "$out/alpha.bmp"
convert "${picture[@]}" -monochrome "BMP3:$out/mono.bmp"
convert "${picture[@]}" -colors 8 "$out/frame.gif"
convert "${picture[@]}" \( +clone -resize 8x8! \) "$out/two-frames.gif"
convert "${picture[@]}" \( +clone -resize 48x48! \) "$out/two-entries.ico"
convert "${picture[@]}" "$out/picture.png"
cp "$here"/../data/*.jpg "$out/"
# HEIC, WebP and TIFF: the loader's samples, among them a HEIC turned by its own property.
cp "$here"/../data/format-*.heic "$here"/../data/format-*.webp "$here"/../data/format-*.tif "$out/"
# Camera-like photos, among them PNGs turned by their eXIf chunk.
"$here/make_metadata_corpus.py" "$out"
