#!/bin/sh
# Regenerates the small pictures the codec tests read, with ImageMagick 6 and
# Pillow, and beside each one "NAME.ref.pam": ImageMagick's own decoding of it
# (RGBA, 8 bits), which the tests take as the expected pixels.
set -e
cd "$(dirname "$0")"
C=/usr/bin/convert
T=$(mktemp -d)
trap 'rm -rf "$T"' EXIT
/usr/bin/python3 - "$T" <<'PY'
import random, sys
from PIL import Image
random.seed(7)
w, h = 7, 5
src = Image.new('RGB', (w, h))
src.putdata([(random.randrange(256), random.randrange(256), random.randrange(256)) for _ in range(w * h)])
src.save(sys.argv[1] + '/src.png')
alpha = src.copy(); alpha.putalpha(Image.frombytes('L', (w, h), bytes(random.randrange(256) for _ in range(w * h))))
alpha.save(sys.argv[1] + '/alpha.png')
few = Image.new('RGB', (w, h)); cols = [(0, 0, 0), (255, 0, 0), (0, 128, 255), (250, 250, 250)]
few.putdata([cols[random.randrange(4)] for _ in range(w * h)]); few.save(sys.argv[1] + '/few.png')
src.save('codec_pillow.bmp'); src.convert('P', palette=Image.ADAPTIVE, colors=16).save('codec_pillow_p16.bmp')
src.save('codec_pillow.tga'); alpha.save('codec_pillow_rle_alpha.tga', rle=True)
src.save('codec_pillow.sgi'); alpha.save('codec_pillow_rgba.sgi')
src.save('codec_pillow_progressive.jpg', progressive=True, quality=90)
src.save('codec_pillow.pcx'); src.convert('L').save('codec_pillow_grey.pcx')
PY
S=$T/src.png A=$T/alpha.png F=$T/few.png
$C $F -type Bilevel BMP3:codec_im_1bit.bmp
$C $F -colors 4 -type Palette -compress None BMP3:codec_im_4bit.bmp
$C $S -type Palette -compress None BMP3:codec_im_8bit.bmp
$C $F -type Palette -compress RLE BMP3:codec_im_rle8.bmp
$C $S -define bmp:subtype=RGB565 codec_im_16bit.bmp
$C $A codec_im_32bit_alpha.bmp
$C $S BMP2:codec_im_os2.bmp
$C $F -type Palette codec_im_palette.pcx
$C $F -monochrome codec_im_mono.pcx
$C $S codec_im_24bit.pcx
$C $F -type Palette codec_im_mapped.tga
$C $S -compress RLE codec_im_rle.tga
$C $S -colorspace gray codec_im_grey.tga
$C $A codec_im_alpha.tga
$C $S -compress RLE codec_im_rle.sgi
$C $S -depth 16 codec_im_16bit.sgi
$C $S -colorspace gray SGI:codec_im_grey.bw
$C $F -compress none codec_im_plain.pbm
$C $S -colorspace gray -compress none codec_im_plain.pgm
$C $S -compress none codec_im_plain.ppm
$C $F codec_im_raw.pbm
$C $S -colorspace gray codec_im_raw.pgm
$C $S -depth 16 codec_im_16bit.ppm
$C $A -interlace GIF codec_im_interlaced.gif
$C $F -transparent '#ff0000' codec_im_transparent.gif
$C $S -type Palette codec_im_palette.png
$C $S -colorspace gray -depth 16 codec_im_grey16.png
$C $A -interlace PNG codec_im_adam7_alpha.png
$C $S -quality 90 codec_im_baseline.jpg
$C $S -colorspace gray codec_im_grey.jpg
$C $S -colorspace CMYK codec_im_cmyk.jpg
$C $A -compress Zip -define tiff:tile-geometry=16x16 codec_im_tiled_zip_alpha.tif
$C $S -depth 16 -compress LZW codec_im_16bit_lzw.tif
# ImageMagick 6.9.11 turns bottom-up TGA files upside down (its writer too): Pillow decodes those.
for f in codec_*.*; do
  case "$f" in
    *.ref.pam) ;;
    *.tga) /usr/bin/python3 -c "import sys; from PIL import Image
im = Image.open(sys.argv[1]).convert('RGBA'); w, h = im.size
open(sys.argv[1] + '.ref.pam', 'wb').write(b'P7\\nWIDTH %d\\nHEIGHT %d\\nDEPTH 4\\nMAXVAL 255\\nTUPLTYPE RGB_ALPHA\\nENDHDR\\n' % (w, h) + im.tobytes())" "$f" ;;
    *) $C "$f[0]" -alpha on -type TrueColorAlpha -depth 8 "PAM:$f.ref.pam" ;;
  esac
done
