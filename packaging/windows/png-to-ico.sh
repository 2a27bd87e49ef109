#!/bin/sh
# png-to-ico.sh PICTURE.png ICON.ico
# Writes an icon file whose one image is the PNG picture as it stands (Windows
# Vista and later, windres and makensis read such icons). Pictures up to
# 256 x 256 pixels; 256 is written as 0, as the icon format wants.
set -eu
png=$1
ico=$2
byte_at() { od -An -tu1 -j "$2" -N1 "$1" | tr -d ' '; }
[ "$(od -An -c -j1 -N3 "$png" | tr -d ' ')" = PNG ] || { echo "$png: not a PNG picture" >&2; exit 1; }
le16() { printf "\\$(printf %03o $(($1 & 255)))\\$(printf %03o $(($1 >> 8 & 255)))"; }
le32() { le16 $(($1 & 65535)); le16 $(($1 >> 16 & 65535)); }
# Width and height: the low bytes of the two big-endian numbers of the IHDR chunk.
width=$(byte_at "$png" 19)
height=$(byte_at "$png" 23)
size=$(wc -c <"$png")
{
  le16 0; le16 1; le16 1                             # icon file, one image
  le16 $((width | height << 8)); le16 0; le16 1; le16 32  # size, colours, planes, bits
  le32 "$size"; le32 22                              # image bytes and where they start
  cat "$png"
} >"$ico.part"
mv -f "$ico.part" "$ico"
