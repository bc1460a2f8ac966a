#!/usr/bin/env bash
# Renders voltwren.svg into the icon file of the resource script (16, 32 and
# 48 px, 32-bit colour) and the toast logo. Needs librsvg2-bin and ImageMagick;
# run it after changing the drawing and commit what it writes.
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT
convert=/usr/bin/convert # /usr/local/bin may hold a stand-in
for size in 16 32 48; do
  rsvg-convert -w $size -h $size "$here/voltwren.svg" -o "$tmp/$size.png"
done
# BMP images in the icon keep 32-bit colour with alpha for every size.
"$convert" "$tmp/16.png" "$tmp/32.png" "$tmp/48.png" -define icon:format=bmp "$here/voltwren.ico"
rsvg-convert -w 256 -h 256 "$here/voltwren.svg" -o "$here/../../packaging/notification_icon.png"
echo "wrote $here/voltwren.ico and packaging/notification_icon.png"
